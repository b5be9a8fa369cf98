#include "archive_builders.h"

#include <algorithm>
#include <cstring>

namespace quillmap {

namespace {
constexpr size_t k_sector = 2048;

size_t sectors_of(size_t bytes) {
    return (bytes + k_sector - 1) / k_sector;
}

void put_u32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out[at + i] = uint8_t(value >> (8 * i));
}

// One 32-byte row: offset in sectors, the size words, the name in 24 bytes.
void put_row(std::vector<uint8_t>& out, size_t at, size_t offset_sectors, size_t size_sectors,
             const std::string& name, bool ver2) {
    put_u32(out, at, uint32_t(offset_sectors));
    if (ver2) {
        out[at + 4] = uint8_t(size_sectors);
        out[at + 5] = uint8_t(size_sectors >> 8);
    } else {
        put_u32(out, at + 4, uint32_t(size_sectors));
    }
    std::memcpy(&out[at + 8], name.data(), std::min<size_t>(name.size(), 24));
}

void append_padded(std::vector<uint8_t>& img, const std::vector<uint8_t>& bytes) {
    img.insert(img.end(), bytes.begin(), bytes.end());
    img.resize(sectors_of(img.size()) * k_sector, 0);
}
} // namespace

std::vector<uint8_t> make_ver2_archive(const std::vector<archive_file>& files) {
    std::vector<uint8_t> out(8 + 32 * files.size(), 0);
    std::memcpy(out.data(), "VER2", 4);
    put_u32(out, 4, uint32_t(files.size()));
    out.resize(sectors_of(out.size()) * k_sector, 0);
    for (size_t i = 0; i < files.size(); ++i) {
        const size_t offset = out.size() / k_sector;
        append_padded(out, files[i].bytes);
        put_row(out, 8 + 32 * i, offset, sectors_of(files[i].bytes.size()), files[i].name, true);
    }
    return out;
}

dir_img_pair make_dir_img_archive(const std::vector<archive_file>& files) {
    dir_img_pair pair;
    pair.dir.resize(32 * files.size(), 0);
    for (size_t i = 0; i < files.size(); ++i) {
        const size_t offset = pair.img.size() / k_sector;
        append_padded(pair.img, files[i].bytes);
        put_row(pair.dir, 32 * i, offset, sectors_of(files[i].bytes.size()), files[i].name, false);
    }
    return pair;
}

} // namespace quillmap
