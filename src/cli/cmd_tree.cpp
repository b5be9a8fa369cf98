#include "cli/cli_commands.h"
#include "stream/rw_ids.h"
#include "stream/section_name.h"

#include <cstdio>
#include <cstring>
#include <iostream>

namespace quillmap {

namespace {
// The structure view's label: id, section name, a String's text, size and data offset.
std::string chunk_label(const rw_chunk& chunk) {
    std::string quoted;
    if (chunk.id == rw_id_string && chunk.data && !chunk.data->empty()) {
        const auto* text = reinterpret_cast<const char*>(chunk.data->data());
        const size_t length = strnlen(text, std::min<size_t>(chunk.data->size(), chunk.size));
        if (length) quoted = "\"" + std::string(text, length) + "\" ";
    }
    char line[512];
    std::snprintf(line, sizeof line, "0x%02x - %s %s(%d bytes @ 0x%x)", chunk.id,
                  section_name(chunk.id), quoted.c_str(), static_cast<int>(chunk.size),
                  chunk.data_offset);
    return line;
}

void print_tree(const rw_chunk& chunk, int level) {
    std::cout << std::string(size_t(level) * 2, ' ') << chunk_label(chunk) << "\n";
    for (const auto& child : chunk.children)
        print_tree(*child, level + 1);
}
} // namespace

int cmd_tree(const cli_args& args) {
    if (args.positional.empty()) return usage_error("missing FILE");
    uint32_t offset = 0;
    if (args.options.count("--offset")) {
        auto value = parse_hex(args.get("--offset"));
        if (!value) return usage_error("--offset takes a hexadecimal number");
        offset = *value;
    }
    // Any chunk file, not only dictionaries: the structure is what is asked for.
    rw_stream stream;
    if (!stream.open(args.positional[0], offset, 0, 0)) return failure(stream.last_error);
    print_tree(*stream.root, 0);
    return k_exit_ok;
}

} // namespace quillmap
