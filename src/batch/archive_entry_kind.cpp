#include "batch/archive_entry_kind.h"

#include "batch/batch_runner.h"
#include "batch/batch_sources.h"
#include "dictionary/txd_probe.h"

#include <climits>
#include <cstdio>

namespace quillmap {

namespace {
// The entry's first bytes, enough to tell a dictionary or TEX container; fewer when the file
// is shorter or cannot be read.
size_t read_entry_start(const game_archive& archive, const archive_entry& entry, uint8_t* bytes,
                        size_t size) {
    std::FILE* file = std::fopen(archive.data_path.c_str(), "rb");
    if (!file) return 0;
    size_t got = 0;
    if (entry.offset <= uint64_t(LONG_MAX) && std::fseek(file, long(entry.offset), SEEK_SET) == 0)
        got = std::fread(bytes, 1, size, file);
    std::fclose(file);
    return got;
}
} // namespace

entry_description describe_archive_entry(const game_archive& archive, const archive_entry& entry) {
    if (!entry.inside) return {"outside", std::nullopt, 0};
    // An empty entry holds nothing: what follows its offset belongs to other entries.
    if (entry.size == 0) return {"empty", std::nullopt, 0};
    // Bytes another entry already holds are not opened a second time.
    if (entry.overlaps) return {"shared", std::nullopt, 0};
    if (!has_dictionary_extension(entry.name)) {
        uint8_t bytes[12] = {};
        const size_t got = read_entry_start(archive, entry, bytes, sizeof bytes);
        if (!looks_like_dictionary(bytes, got)) return {"other", std::nullopt, 0};
    }
    dictionary_source source;
    source.file = archive.data_path;
    source.offset = entry.offset;
    source.size = entry.size;
    std::string error;
    const probe_result probe = open_dictionary_source(source, k_all_platforms, error);
    if (!probe.dictionary) return {"damaged", std::nullopt, 0};
    return {platform_name(*probe.platform), probe.platform, probe.dictionary->texture_count()};
}

} // namespace quillmap
