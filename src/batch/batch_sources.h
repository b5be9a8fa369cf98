#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace quillmap {

// One dictionary a batch run works on: a file of its own or an entry of a game archive, read
// where it lies.
struct dictionary_source {
    std::filesystem::path file; // the file its bytes lie in (the .img for archive entries)
    uint64_t offset = 0;
    uint64_t size = 0;             // bytes the dictionary may use; 0 = up to the end of the file
    std::string entry;             // the archive entry's name; empty for a file of its own
    std::string shown;             // how reports name it: "path" or "archive:entry"
    std::filesystem::path out_dir; // relative to the output folder, mirroring the input
    // The name out_dir's last part comes from, as the file or entry gives it (its extension
    // left out); out_dir differs from it when the name was made safe or was already taken.
    std::string stem;
};

// Something that failed before any dictionary could be opened (a missing input, a damaged
// archive, an entry that lies outside its archive).
struct batch_failure {
    std::string file;
    std::string entry;
    std::string texture;
    std::string reason;
};

struct source_list {
    std::vector<dictionary_source> sources; // in input order, folders walked in name order
    std::vector<batch_failure> failures;
};

// Every dictionary in the inputs: files, folders (walked recursively; a file counts when its
// first bytes are a texture dictionary or TEX container, or its extension is .txd, .tex, .xtx
// or .chk) and game archives (every entry that is such a dictionary). Each source gets an output
// folder of its own whose name never collides with another's (a suffix is added).
// `progress`, when given, hears how far the naming of the output folders has come (sources done,
// sources in all), for archives of many thousand entries.
using collect_progress = std::function<void(size_t done, size_t total)>;
source_list collect_sources(const std::vector<std::filesystem::path>& inputs,
                            const collect_progress& progress = {});

// Whether the bytes begin a texture dictionary (chunk 0x16) or a TEX container.
bool looks_like_dictionary(const uint8_t* bytes, size_t size);
// Whether the name ends with a dictionary extension (any case).
bool has_dictionary_extension(const std::filesystem::path& name);

// A name from a file (texture or archive entry) made safe as one path component.
std::string safe_file_name(const std::string& name, const std::string& fallback);

} // namespace quillmap
