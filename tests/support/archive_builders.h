#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quillmap {

// Game archives built in memory from files' bytes, laid out as the games lay them out: every
// entry starts on a 2048-byte sector and is padded to whole sectors.
struct archive_file {
    std::string name;
    std::vector<uint8_t> bytes;
};

// One VER2 file: header, entry table, then the entries (the table padded to a sector).
std::vector<uint8_t> make_ver2_archive(const std::vector<archive_file>& files);

// The older pair: the .dir entry table and the .img with the entries from sector 0.
struct dir_img_pair {
    std::vector<uint8_t> dir;
    std::vector<uint8_t> img;
};
dir_img_pair make_dir_img_archive(const std::vector<archive_file>& files);

} // namespace quillmap
