#include "cli/cli_common.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

namespace quillmap {

bool cli_is_flag(const std::string& name) {
    static const std::set<std::string> flags = {
        "--json", "--all",    "--in-place", "--keep-alpha", "--mask",  "--help",
        "-h",     "--resize", "--quiet",    "--overwrite",  "--fsync", "--skip-existing"};
    return flags.count(name) != 0;
}

std::optional<cli_args> parse_cli(int argc, char** argv, std::string& error,
                                  const std::vector<std::string>* taken) {
    cli_args args;
    if (argc < 2) {
        error = "no command given";
        return std::nullopt;
    }
    args.command = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::string word = argv[i];
        if (word.size() > 1 && word[0] == '-') {
            if (taken && std::find(taken->begin(), taken->end(), word) == taken->end()) {
                error = args.command + " does not take the option " + word;
                return std::nullopt;
            }
            if (cli_is_flag(word)) {
                args.flags.insert(word);
            } else if (i + 1 < argc) {
                args.options[word] = argv[++i];
            } else {
                error = "option " + word + " needs a value";
                return std::nullopt;
            }
        } else {
            args.positional.push_back(word);
        }
    }
    return args;
}

int usage_error(const std::string& message) {
    std::cerr << "quillmap-cli: " << message << "\n";
    return k_exit_usage;
}

int failure(const std::string& message) {
    std::cerr << message << "\n";
    return k_exit_failure;
}

std::optional<uint32_t> parse_uint(const std::string& text) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + uint32_t(c - '0');
    }
    return value;
}

std::optional<opened_dictionary> open_for_cli(const cli_args& args, int& exit_code) {
    if (args.positional.empty()) {
        exit_code = usage_error("missing FILE");
        return std::nullopt;
    }
    opened_dictionary opened;
    if (args.options.count("--offset")) {
        auto offset = parse_hex(args.get("--offset"));
        if (!offset) {
            exit_code = usage_error("--offset takes a hexadecimal number");
            return std::nullopt;
        }
        opened.offset = *offset;
    }
    const std::string platforms = args.get("--platforms", std::string(k_all_platforms));
    if (opened.session.open(args.positional[0], opened.offset, platforms) != open_status::opened) {
        exit_code = failure(args.positional[0] + ": " + opened.session.open_reason());
        return std::nullopt;
    }
    // An interrupted save into the file, finished on opening (or where its copy lies).
    if (!opened.session.last_note().empty())
        std::cerr << args.positional[0] << ": " << opened.session.last_note() << "\n";
    // A dictionary inside a game archive is saved back through the archive's entry save.
    opened.session.link_entry_at_offset();
    opened.dictionary = opened.session.dictionary();
    // Textures the count leaves out are kept; the disagreement is told, never passed over.
    if (const std::string why = opened.dictionary->count_disagreement(); !why.empty())
        std::cerr << args.positional[0] << ": " << why << "\n";
    opened.platform = opened.session.platform();
    opened.restriction_mask = opened.session.restriction_mask();
    return opened;
}

std::optional<uint32_t> texture_index(const cli_args& args, ps2_txd& dictionary, int& exit_code) {
    auto t = parse_uint(args.get("-t"));
    if (!t) {
        exit_code = usage_error("-t N selects a texture (0-based)");
        return std::nullopt;
    }
    if (*t >= dictionary.texture_count()) {
        exit_code = failure("Texture not exists.");
        return std::nullopt;
    }
    return t;
}

std::optional<view_mode> view_option(const cli_args& args, int& exit_code) {
    const std::string view = args.get("--view", "texture");
    if (view == "texture") return view_mode::texture;
    if (view == "alpha") return view_mode::alpha;
    if (view == "mixed") return view_mode::mixed;
    exit_code = usage_error("--view takes texture, alpha or mixed");
    return std::nullopt;
}

std::optional<swizzle_mode> swizzle_option(const cli_args& args, int& exit_code) {
    const std::string swizzle = args.get("--swizzle", "auto");
    if (swizzle == "auto") return swizzle_mode::as_stored;
    if (swizzle == "off") return swizzle_mode::off;
    if (swizzle == "on") return swizzle_mode::on;
    exit_code = usage_error("--swizzle takes auto, on or off");
    return std::nullopt;
}

int save_result(const cli_args& args, opened_dictionary& opened) {
    const bool in_place = args.has("--in-place");
    if (in_place == (args.options.count("-o") > 0))
        return usage_error("give either -o OUT or --in-place");
    const bool saved = in_place ? opened.session.save() : opened.session.save_as(args.get("-o"));
    if (!saved) return failure(opened.session.last_error());
    return k_exit_ok;
}

std::string json_escape(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c >= 0x80) {
                // Names are single-byte text of unknown code page; keep JSON valid ASCII.
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += char(c);
            }
        }
    }
    return out;
}

std::string hex32(uint32_t value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", value);
    return buf;
}

} // namespace quillmap
