#include "raster/tim2_file.h"

#include "raster/ps2_swizzling.h"
#include "raster/raster_limits.h"
#include "raster/raster_messages.h"
#include "stream/byte_reader.h"
#include "stream/safe_file.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace quillmap {

namespace {

// File header: "TIM2", version, format identifier, picture count (16 bits), 8 reserved bytes.
// Format identifier 1 pads the file header so that the first picture starts at byte 128.
constexpr uint8_t k_format_aligned = 1;
constexpr size_t k_aligned_first_picture = 128;

// Picture header: total, CLUT and image sizes (32 bits), header size and CLUT colours (16 bits),
// picture format, mipmap count, CLUT type and image type (8 bits), width and height (16 bits),
// GS TEX0 and TEX1 (64 bits), TEXA and TEXCLUT (32 bits); then the mipmap header, if any.
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
    if (!fits(at, bytes, pic.image.size())) return {};
    return {pic.image.data() + at, size_t(bytes)};
}

bool tim2_file::holds_swizzled_pixels(size_t index) const {
    if (index >= pictures.size()) return false;
    const tim2_picture& pic = pictures[index];
    return pic.has_swizzle_tag && pic.header.swizzle_marker == k_marker_swizzled;
}

std::vector<uint8_t> tim2_file::bytes() const {
    std::vector<uint8_t> out;
    byte_writer file(out);
    file.bytes(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>("TIM2"), 4));
    file.u8(header.version);
    file.u8(0); // pictures follow the 16-byte header directly
    file.u16(uint16_t(pictures.size()));
    out.resize(tim2_file_header::k_size, 0);
    for (const tim2_picture& pic : pictures) {
        const tim2_picture_header& h = pic.header;
        const uint32_t clut_bytes = pic.has_clut ? uint32_t(pic.clut.size()) : 0;
        const size_t at = out.size();
        const uint32_t levels = uint32_t(h.level_sizes.size() > 1 ? h.level_sizes.size() : 1);
        const size_t mip_bytes = tim2_picture_header::mipmap_header_bytes(levels);
        const size_t header_bytes = tim2_picture_header::k_size + mip_bytes;
        out.resize(at + header_bytes, 0);
        byte_writer p(std::span<uint8_t>(out).subspan(at, header_bytes));
        p.u32(clut_bytes + uint32_t(pic.image.size()) + uint32_t(header_bytes));
        p.u32(clut_bytes);
        p.u32(uint32_t(pic.image.size()));
        p.u16(uint16_t(header_bytes));
        p.u16(pic.has_clut ? h.clut_colours : 0);
        p.u8(h.picture_format);
        p.u8(uint8_t(levels));
        // CLUTs are held as 32-bit entries in console order whatever the source file had.
        p.u8(pic.has_clut ? k_clut_32bit : 0);
        p.u8(h.image_type);
        p.u16(h.width);
        p.u16(h.height);
        p.u64(h.gs_tex0);
        p.u64(h.gs_tex1);
        p.u32(h.gs_texa_fba_pabe);
        p.u32(h.gs_texclut);
        if (levels > 1) {
            p.u64(h.gs_miptbp1);
            p.u64(h.gs_miptbp2);
            for (uint32_t n = 0; n < levels; ++n)
                p.u32(h.level_sizes[n]);
        }
        // Our extension follows the mipmap header.
        p.seek(mip_bytes + k_tag_offset);
        p.bytes(k_tag);
        p.seek(mip_bytes + k_marker_offset);
        p.u8(h.swizzle_marker);
        out.insert(out.end(), pic.image.begin(), pic.image.end());
        if (pic.has_clut) out.insert(out.end(), pic.clut.begin(), pic.clut.end());
    }
    return out;
}

int tim2_file::write(const std::filesystem::path& path) {
    const std::vector<uint8_t> data = bytes();
    return safe_file::write_file(path, data, last_error) ? 1 : 0;
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
    error_detail.clear();
    // The reader that ran out, when one did, says what was cut short and where.
    auto refuse = [this](const byte_reader* cut = nullptr) {
        pictures.clear();
        header.picture_count = 0;
        last_error = raster_msg::not_valid_tim2;
        if (cut) error_detail = cut->error();
        return 0;
    };
    byte_reader in(file);
    const auto magic = in.bytes(4, "TIM2 magic");
    const uint8_t version = in.u8("TIM2 version");
    const uint8_t format_id = in.u8("TIM2 format");
    const uint16_t declared = in.u16("TIM2 picture count");
    const auto reserved = in.bytes(sizeof header.reserved, "TIM2 file header");
    if (!in.ok()) return refuse(&in);
    if (std::memcmp(magic.data(), "TIM2", 4) != 0) return refuse();
    header.version = version;
    header.format_id = format_id;
    // Files declaring more pictures than we hold keep the first ones.
    const uint32_t count = std::min<uint32_t>(declared, raster_limits::k_max_tim2_pictures);
    header.picture_count = uint16_t(count);
    std::memcpy(header.reserved, reserved.data(), sizeof header.reserved);

    uint64_t pos =
        header.format_id == k_format_aligned ? k_aligned_first_picture : tim2_file_header::k_size;
    for (uint32_t i = 0; i < count; ++i) {
        in.seek(pos, "TIM2 picture");
        byte_reader f(in.bytes(tim2_picture_header::k_standard_size, "TIM2 picture header"), pos);
        if (!in.ok()) return refuse(&in);
        tim2_picture pic;
        tim2_picture_header& h = pic.header;
        h.total_size = f.u32("TIM2 total size");
        h.clut_size = f.u32("TIM2 CLUT size");
        h.image_size = f.u32("TIM2 image size");
        h.header_size = f.u16("TIM2 header size");
        h.clut_colours = f.u16("TIM2 CLUT colours");
        h.picture_format = f.u8("TIM2 picture format");
        h.mipmap_count = f.u8("TIM2 mipmap count");
        h.clut_type = f.u8("TIM2 CLUT type");
        h.image_type = f.u8("TIM2 image type");
        h.width = f.u16("TIM2 width");
        h.height = f.u16("TIM2 height");
        h.gs_tex0 = f.u64("TIM2 TEX0");
        h.gs_tex1 = f.u64("TIM2 TEX1");
        h.gs_texa_fba_pabe = f.u32("TIM2 TEXA");
        h.gs_texclut = f.u32("TIM2 TEXCLUT");
        const uint32_t stored_clut_size = h.clut_size; // the CLUT is converted below
        if (h.header_size < tim2_picture_header::k_standard_size) return refuse();
        // The whole picture header, mipmap header and extension included.
        in.seek(pos, "TIM2 picture");
        byte_reader whole(in.bytes(h.header_size, "TIM2 picture header"), pos);
        if (!in.ok()) return refuse(&in);
        size_t mip_bytes = 0;
        if (h.mipmap_count > 1) {
            if (h.mipmap_count > tim2_picture_header::k_max_levels) return refuse();
            mip_bytes = tim2_picture_header::mipmap_header_bytes(h.mipmap_count);
            if (h.header_size < tim2_picture_header::k_standard_size + mip_bytes) return refuse();
            whole.seek(k_reserved_offset, "TIM2 mipmap header");
            h.gs_miptbp1 = whole.u64("TIM2 MIPTBP1");
            h.gs_miptbp2 = whole.u64("TIM2 MIPTBP2");
            uint64_t sum = 0;
            for (uint32_t n = 0; n < h.mipmap_count; ++n) {
                h.level_sizes.push_back(whole.u32("TIM2 level size"));
                sum += h.level_sizes.back();
            }
            if (!whole.ok()) return refuse(&whole);
            if (sum > h.image_size) return refuse();
        }
        // Only our own longer headers carry the tag; the bytes past a shorter header are image
        // data, not a marker.
        std::memset(h.reserved, 0, sizeof h.reserved);
        std::memset(h.extension_tag, 0, sizeof h.extension_tag);
        h.extension_reserved = 0;
        h.swizzle_marker = k_marker_plain;
        if (h.header_size >= tim2_picture_header::k_size + mip_bytes) {
            whole.seek(mip_bytes + k_reserved_offset, "TIM2 extension");
            const auto ext_reserved = whole.bytes(sizeof h.reserved, "TIM2 extension");
            const auto tag = whole.bytes(sizeof k_tag, "TIM2 extension tag");
            whole.seek(mip_bytes + k_marker_offset, "TIM2 swizzle marker");
            const uint8_t marker = whole.u8("TIM2 swizzle marker");
            if (!whole.ok()) return refuse(&whole);
            std::memcpy(h.reserved, ext_reserved.data(), sizeof h.reserved);
            if (std::memcmp(tag.data(), k_tag, 4) == 0) {
                std::memcpy(h.extension_tag, k_tag, 4);
                h.swizzle_marker = marker;
                pic.has_swizzle_tag = true;
            }
        }

        const uint64_t image_at = pos + h.header_size;
        const uint64_t clut_at = image_at + h.image_size;
        in.seek(image_at, "TIM2 image data");
        in.skip(h.image_size, "TIM2 image data");
        in.skip(h.clut_size, "TIM2 CLUT");
        if (!in.ok()) return refuse(&in);
        const uint32_t depth = picture_depth(h);
        if (h.width > raster_limits::k_max_picture_dimension ||
            h.height > raster_limits::k_max_picture_dimension)
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
                byte_reader colours(file.subspan(size_t(clut_at), h.clut_size), clut_at);
                for (uint32_t e = 0; e < stored; ++e) {
                    uint8_t rgba[4];
                    if (entry_bytes == 2) {
                        const uint16_t v = colours.u16("TIM2 CLUT entry");
                        rgba[0] = widen5(v & 0x1F);
                        rgba[1] = widen5((v >> 5) & 0x1F);
                        rgba[2] = widen5((v >> 10) & 0x1F);
                        rgba[3] = (v & 0x8000) ? k_ps2_alpha_opaque : 0;
                    } else if (entry_bytes == 3) {
                        const auto s = colours.bytes(3, "TIM2 CLUT entry");
                        if (s.empty()) return refuse(&colours);
                        rgba[0] = s[0];
                        rgba[1] = s[1];
                        rgba[2] = s[2];
                        rgba[3] = k_ps2_alpha_opaque;
                    } else {
                        const auto s = colours.bytes(4, "TIM2 CLUT entry");
                        if (s.empty()) return refuse(&colours);
                        std::memcpy(rgba, s.data(), 4);
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

        const uint64_t used = uint64_t(h.header_size) + h.image_size + stored_clut_size;
        // total_size may include alignment padding; never step by less than what was used.
        const uint64_t step = std::max<uint64_t>(used, h.total_size);
        pictures.push_back(std::move(pic));
        pos += step;
    }
    return 1;
}

} // namespace quillmap
