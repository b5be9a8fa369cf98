#include "raster/tim2_file.h"

#include "raster/ps2_swizzling.h"
#include "raster/raster_limits.h"
#include "raster/raster_messages.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

// File header.
constexpr size_t k_magic_offset = 0;
constexpr size_t k_version_offset = 4;
constexpr size_t k_format_id_offset = 5;
constexpr size_t k_count_offset = 6;
// Format identifier 1 pads the file header so that the first picture starts at byte 128.
constexpr uint8_t k_format_aligned = 1;
constexpr size_t k_aligned_first_picture = 128;

// Picture header.
constexpr size_t k_total_size_offset = 0;
constexpr size_t k_clut_size_offset = 4;
constexpr size_t k_image_size_offset = 8;
constexpr size_t k_header_size_offset = 12;
constexpr size_t k_clut_colours_offset = 14;
constexpr size_t k_picture_format_offset = 16;
constexpr size_t k_mipmap_count_offset = 17;
constexpr size_t k_clut_type_offset = 18;
constexpr size_t k_image_type_offset = 19;
constexpr size_t k_width_offset = 20;
constexpr size_t k_height_offset = 22;
constexpr size_t k_tex0_offset = 24;
constexpr size_t k_tex1_offset = 32;
constexpr size_t k_texa_offset = 40;
constexpr size_t k_texclut_offset = 44;
constexpr size_t k_reserved_offset = 48;
constexpr size_t k_tag_offset = 64;
constexpr size_t k_marker_offset = 72;

// CLUT type: entry format in the low bits, bit 7 set when entries are in linear order.
constexpr uint8_t k_clut_format_mask = 0x3F;
constexpr uint8_t k_clut_linear = 0x80;
constexpr uint8_t k_clut_16bit = 1;
constexpr uint8_t k_clut_24bit = 2;
constexpr uint8_t k_clut_32bit = 3;
constexpr uint8_t k_ps2_alpha_opaque = 0x80;

constexpr uint8_t k_tag[4] = {'s', 'w', 'i', 'z'};

uint8_t image_type_of(uint32_t depth) {
    switch (depth) {
    case 16:
        return 1;
    case 24:
        return 2;
    case 32:
        return 3;
    case 4:
        return 4;
    case 8:
        return 5;
    default:
        return 0;
    }
}

uint16_t rd16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}
uint32_t rd32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint64_t rd64(const uint8_t* p) {
    return uint64_t(rd32(p)) | uint64_t(rd32(p + 4)) << 32;
}
void put16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}
void put64(uint8_t* p, uint64_t v) {
    put32(p, uint32_t(v));
    put32(p + 4, uint32_t(v >> 32));
}

uint8_t widen5(uint32_t f) {
    return uint8_t(f << 3 | f >> 2);
}

} // namespace

tim2_file::tim2_file(const std::filesystem::path& path) {
    read(path);
}

uint32_t tim2_file::picture_depth(const tim2_picture_header& h) {
    if (h.clut_colours == 16) return 4;
    if (h.clut_colours == 256) return 8;
    switch (h.image_type) {
    case 1:
        return 16;
    case 2:
        return 24;
    case 3:
        return 32;
    case 4:
        return 4;
    case 5:
        return 8;
    default:
        return 0;
    }
}

uint32_t tim2_file::picture_depth() const {
    return pictures.empty() ? 0 : picture_depth(pictures.front().header);
}

int tim2_file::add_picture(uint32_t width_px, uint32_t height_px, uint32_t depth,
                           std::span<const uint8_t> raster_pixels,
                           std::span<const uint8_t> raster_palette, bool unswizzle) {
    if (image_type_of(depth) == 0) {
        last_error = raster_msg::unsupported_image_bpp;
        return 0;
    }
    // The header holds 16-bit sizes.
    if (width_px == 0 || height_px == 0 || width_px > 0xFFFF || height_px > 0xFFFF) {
        last_error = raster_msg::bad_image_size;
        return 0;
    }
    if (pictures.size() >= raster_limits::k_max_tim2_pictures) {
        last_error = raster_msg::bad_image_size;
        return 0;
    }
    const uint32_t colours = depth <= 8 ? 1u << depth : 0;
    if (colours && raster_palette.size() < size_t(colours) * 4) {
        last_error = raster_msg::palette_too_short;
        return 0;
    }
    tim2_picture pic;
    if (!ps2_swizzling::plain_copy(raster_pixels, width_px, height_px, depth, unswizzle, pic.image,
                                   &pic.unswizzled)) {
        last_error = raster_msg::raster_too_short;
        return 0;
    }
    if (colours) {
        pic.clut.assign(raster_palette.begin(), raster_palette.begin() + size_t(colours) * 4);
        pic.has_clut = true;
    }
    tim2_picture_header& h = pic.header;
    h.clut_size = uint32_t(pic.clut.size());
    h.image_size = uint32_t(pic.image.size());
    h.total_size = h.clut_size + h.image_size + uint32_t(tim2_picture_header::k_size);
    h.header_size = uint16_t(tim2_picture_header::k_size);
    h.clut_colours = uint16_t(colours);
    h.clut_type = colours ? k_clut_32bit : 0;
    h.image_type = image_type_of(depth);
    h.width = uint16_t(width_px);
    h.height = uint16_t(height_px);
    h.swizzle_marker = k_marker_plain;
    pic.has_swizzle_tag = true;
    pictures.push_back(std::move(pic));
    header.picture_count = uint16_t(pictures.size());
    return 1;
}

void tim2_file::mark_source_swizzled(size_t index, bool source_swizzled) {
    if (index >= pictures.size()) return;
    tim2_picture& pic = pictures[index];
    const bool stored_swizzled = source_swizzled && !pic.unswizzled;
    pic.header.swizzle_marker = stored_swizzled ? k_marker_swizzled : k_marker_plain;
    pic.has_swizzle_tag = true;
}

size_t tim2_picture_header::mipmap_header_bytes(uint32_t levels) {
    // MIPTBP1, MIPTBP2, one size per level, padded to 16 bytes.
    return levels > 1 ? (16 + 4 * size_t(levels) + 15) / 16 * 16 : 0;
}

int tim2_file::add_mip_level(std::span<const uint8_t> raster_pixels, bool unswizzle) {
    if (pictures.empty()) {
        last_error = raster_msg::bad_image_size;
        return 0;
    }
    tim2_picture& pic = pictures.back();
    tim2_picture_header& h = pic.header;
    const uint32_t level = uint32_t(std::max<size_t>(1, h.level_sizes.size()));
    const uint32_t depth = picture_depth(h);
    if (level >= tim2_picture_header::k_max_levels || depth == 0) {
        last_error = raster_msg::bad_image_size;
        return 0;
    }
    std::vector<uint8_t> plain;
    if (!ps2_swizzling::plain_copy(raster_pixels, std::max(1u, uint32_t(h.width) >> level),
                                   std::max(1u, uint32_t(h.height) >> level), depth, unswizzle,
                                   plain)) {
        last_error = raster_msg::raster_too_short;
        return 0;
    }
    auto pad16 = [](std::vector<uint8_t>& bytes) { bytes.resize((bytes.size() + 15) / 16 * 16); };
    if (h.level_sizes.empty()) {
        pad16(pic.image);
        h.level_sizes.push_back(uint32_t(pic.image.size()));
    }
    pad16(plain);
    pic.image.insert(pic.image.end(), plain.begin(), plain.end());
    h.level_sizes.push_back(uint32_t(plain.size()));
    h.mipmap_count = uint8_t(h.level_sizes.size());
    h.image_size = uint32_t(pic.image.size());
    return 1;
}

uint32_t tim2_file::level_count(size_t index) const {
    if (index >= pictures.size()) return 0;
    const auto& sizes = pictures[index].header.level_sizes;
    return sizes.size() > 1 ? uint32_t(sizes.size()) : 1;
}

std::span<const uint8_t> tim2_file::level_image(size_t index, uint32_t level) const {
    if (index >= pictures.size() || level >= level_count(index)) return {};
    const tim2_picture& pic = pictures[index];
    if (pic.header.level_sizes.size() <= 1) return pic.image;
    uint64_t at = 0;
    for (uint32_t n = 0; n < level; ++n)
        at += pic.header.level_sizes[n];
    const uint64_t bytes = pic.header.level_sizes[level];
    if (!range_fits(at, bytes, pic.image.size())) return {};
    return {pic.image.data() + at, size_t(bytes)};
}

bool tim2_file::holds_swizzled_pixels(size_t index) const {
    if (index >= pictures.size()) return false;
    const tim2_picture& pic = pictures[index];
    return pic.has_swizzle_tag && pic.header.swizzle_marker == k_marker_swizzled;
}

std::vector<uint8_t> tim2_file::bytes() const {
    std::vector<uint8_t> out(tim2_file_header::k_size, 0);
    std::memcpy(out.data() + k_magic_offset, "TIM2", 4);
    out[k_version_offset] = header.version;
    out[k_format_id_offset] = 0; // pictures follow the 16-byte header directly
    put16(out.data() + k_count_offset, uint16_t(pictures.size()));
    for (const tim2_picture& pic : pictures) {
        const tim2_picture_header& h = pic.header;
        const uint32_t clut_bytes = pic.has_clut ? uint32_t(pic.clut.size()) : 0;
        const size_t at = out.size();
        const uint32_t levels = uint32_t(h.level_sizes.size() > 1 ? h.level_sizes.size() : 1);
        const size_t mip_bytes = tim2_picture_header::mipmap_header_bytes(levels);
        const size_t header_bytes = tim2_picture_header::k_size + mip_bytes;
        out.resize(at + header_bytes, 0);
        uint8_t* p = out.data() + at;
        put32(p + k_total_size_offset,
              clut_bytes + uint32_t(pic.image.size()) + uint32_t(header_bytes));
        put32(p + k_clut_size_offset, clut_bytes);
        put32(p + k_image_size_offset, uint32_t(pic.image.size()));
        put16(p + k_header_size_offset, uint16_t(header_bytes));
        put16(p + k_clut_colours_offset, pic.has_clut ? h.clut_colours : 0);
        p[k_picture_format_offset] = h.picture_format;
        p[k_mipmap_count_offset] = uint8_t(levels);
        // CLUTs are held as 32-bit entries in console order whatever the source file had.
        p[k_clut_type_offset] = pic.has_clut ? k_clut_32bit : 0;
        p[k_image_type_offset] = h.image_type;
        put16(p + k_width_offset, h.width);
        put16(p + k_height_offset, h.height);
        put64(p + k_tex0_offset, h.gs_tex0);
        put64(p + k_tex1_offset, h.gs_tex1);
        put32(p + k_texa_offset, h.gs_texa_fba_pabe);
        put32(p + k_texclut_offset, h.gs_texclut);
        if (levels > 1) {
            put64(p + k_reserved_offset, h.gs_miptbp1);
            put64(p + k_reserved_offset + 8, h.gs_miptbp2);
            for (uint32_t n = 0; n < levels; ++n)
                put32(p + k_reserved_offset + 16 + 4 * n, h.level_sizes[n]);
        }
        // Our extension follows the mipmap header.
        std::memcpy(p + mip_bytes + k_tag_offset, k_tag, 4);
        p[mip_bytes + k_marker_offset] = h.swizzle_marker;
        out.insert(out.end(), pic.image.begin(), pic.image.end());
        if (pic.has_clut) out.insert(out.end(), pic.clut.begin(), pic.clut.end());
    }
    return out;
}

int tim2_file::write(const std::filesystem::path& path) {
    const std::vector<uint8_t> data = bytes();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) {
        last_error = raster_msg::cant_open_for_writing;
        return 0;
    }
    out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    return 1;
}

int tim2_file::read(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        last_error = raster_msg::cant_open_for_reading;
        return 0;
    }
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    return read(data);
}

int tim2_file::read(std::span<const uint8_t> file) {
    pictures.clear();
    auto refuse = [this] {
        pictures.clear();
        header.picture_count = 0;
        last_error = raster_msg::not_valid_tim2;
        return 0;
    };
    if (file.size() < tim2_file_header::k_size) return refuse();
    if (std::memcmp(file.data() + k_magic_offset, "TIM2", 4) != 0) return refuse();
    header.version = file[k_version_offset];
    header.format_id = file[k_format_id_offset];
    const uint16_t declared = rd16(file.data() + k_count_offset);
    // Files declaring more pictures than we hold keep the first ones.
    const uint32_t count = std::min<uint32_t>(declared, raster_limits::k_max_tim2_pictures);
    header.picture_count = uint16_t(count);
    std::memcpy(header.reserved, file.data() + 8, sizeof header.reserved);

    uint64_t pos =
        header.format_id == k_format_aligned ? k_aligned_first_picture : tim2_file_header::k_size;
    for (uint32_t i = 0; i < count; ++i) {
        if (!range_fits(pos, tim2_picture_header::k_standard_size, file.size())) return refuse();
        const uint8_t* p = file.data() + pos;
        tim2_picture pic;
        tim2_picture_header& h = pic.header;
        h.total_size = rd32(p + k_total_size_offset);
        h.clut_size = rd32(p + k_clut_size_offset);
        h.image_size = rd32(p + k_image_size_offset);
        h.header_size = rd16(p + k_header_size_offset);
        h.clut_colours = rd16(p + k_clut_colours_offset);
        h.picture_format = p[k_picture_format_offset];
        h.mipmap_count = p[k_mipmap_count_offset];
        h.clut_type = p[k_clut_type_offset];
        h.image_type = p[k_image_type_offset];
        h.width = rd16(p + k_width_offset);
        h.height = rd16(p + k_height_offset);
        h.gs_tex0 = rd64(p + k_tex0_offset);
        h.gs_tex1 = rd64(p + k_tex1_offset);
        h.gs_texa_fba_pabe = rd32(p + k_texa_offset);
        h.gs_texclut = rd32(p + k_texclut_offset);
        if (h.header_size < tim2_picture_header::k_standard_size) return refuse();
        if (!range_fits(pos, h.header_size, file.size())) return refuse();
        size_t mip_bytes = 0;
        if (h.mipmap_count > 1) {
            if (h.mipmap_count > tim2_picture_header::k_max_levels) return refuse();
            mip_bytes = tim2_picture_header::mipmap_header_bytes(h.mipmap_count);
            if (h.header_size < tim2_picture_header::k_standard_size + mip_bytes) return refuse();
            h.gs_miptbp1 = rd64(p + k_reserved_offset);
            h.gs_miptbp2 = rd64(p + k_reserved_offset + 8);
            uint64_t sum = 0;
            for (uint32_t n = 0; n < h.mipmap_count; ++n) {
                h.level_sizes.push_back(rd32(p + k_reserved_offset + 16 + 4 * n));
                sum += h.level_sizes.back();
            }
            if (sum > h.image_size) return refuse();
        }
        // Only our own longer headers carry the tag; the bytes past a shorter header are image
        // data, not a marker.
        std::memset(h.reserved, 0, sizeof h.reserved);
        std::memset(h.extension_tag, 0, sizeof h.extension_tag);
        h.extension_reserved = 0;
        h.swizzle_marker = k_marker_plain;
        if (h.header_size >= tim2_picture_header::k_size + mip_bytes) {
            const uint8_t* ext = p + mip_bytes;
            std::memcpy(h.reserved, ext + k_reserved_offset, sizeof h.reserved);
            if (std::memcmp(ext + k_tag_offset, k_tag, 4) == 0) {
                std::memcpy(h.extension_tag, k_tag, 4);
                h.swizzle_marker = ext[k_marker_offset];
                pic.has_swizzle_tag = true;
            }
        }

        const uint64_t image_at = pos + h.header_size;
        const uint64_t clut_at = image_at + h.image_size;
        if (!range_fits(image_at, h.image_size, file.size())) return refuse();
        if (!range_fits(clut_at, h.clut_size, file.size())) return refuse();
        const uint32_t depth = picture_depth(h);
        if (h.width > raster_limits::k_max_dimension || h.height > raster_limits::k_max_dimension)
            return refuse();
        if (depth && h.image_size < raster_bytes(h.width, h.height, depth)) return refuse();
        pic.image.assign(file.begin() + image_at, file.begin() + image_at + h.image_size);

        if (depth == 4 || depth == 8) {
            const uint8_t format = h.clut_type & k_clut_format_mask;
            const uint32_t entry_bytes = format == k_clut_16bit   ? 2
                                         : format == k_clut_24bit ? 3
                                         : format == k_clut_32bit ? 4
                                                                  : 0;
            if (entry_bytes) {
                if (uint64_t(h.clut_colours) * entry_bytes > h.clut_size) return refuse();
                const uint32_t entries = 1u << depth;
                const uint32_t stored = std::min<uint32_t>(h.clut_colours, entries);
                const bool linear = (h.clut_type & k_clut_linear) != 0;
                pic.clut.assign(size_t(entries) * 4, 0); // entries the file leaves out are black
                for (uint32_t e = 0; e < stored; ++e) {
                    const uint8_t* s = file.data() + clut_at + size_t(e) * entry_bytes;
                    uint8_t rgba[4];
                    if (entry_bytes == 2) {
                        const uint16_t v = rd16(s);
                        rgba[0] = widen5(v & 0x1F);
                        rgba[1] = widen5((v >> 5) & 0x1F);
                        rgba[2] = widen5((v >> 10) & 0x1F);
                        rgba[3] = (v & 0x8000) ? k_ps2_alpha_opaque : 0;
                    } else if (entry_bytes == 3) {
                        rgba[0] = s[0];
                        rgba[1] = s[1];
                        rgba[2] = s[2];
                        rgba[3] = k_ps2_alpha_opaque;
                    } else {
                        std::memcpy(rgba, s, 4);
                    }
                    // Linear files list colour e at e; the console order keeps it at clut_slot.
                    const uint32_t slot =
                        linear && entries == 256 ? ps2_swizzling::clut_slot(e) : e;
                    std::memcpy(pic.clut.data() + size_t(slot) * 4, rgba, 4);
                }
                pic.has_clut = true;
                h.clut_type = k_clut_32bit;
                h.clut_colours = uint16_t(entries);
                h.clut_size = uint32_t(pic.clut.size());
            }
        }

        const uint64_t used = uint64_t(h.header_size) + h.image_size + rd32(p + k_clut_size_offset);
        // total_size may include alignment padding; never step by less than what was used.
        const uint64_t step = std::max<uint64_t>(used, h.total_size);
        pictures.push_back(std::move(pic));
        pos += step;
    }
    return 1;
}
