#include "cli/cli_commands.h"
#include "dictionary/gc_txd.h"
#include "dictionary/ios_txd.h"
#include "raster/pixel_format.h"
#include "stream/file_name_text.h"

#include <cstdio>
#include <iostream>

namespace quillmap {

namespace {
std::string hex_text(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

// The GameCube header words beside the common fields: empty for other textures.
std::string gc_json(ps2_txd& txd, uint32_t t) {
    auto* gc = dynamic_cast<gc_txd*>(&txd);
    const auto f = gc ? gc->fields(t) : std::nullopt;
    if (!f) return {};
    std::string out = ",\"gamecube\":{\"filter\":\"" + hex_text(f->filter) + "\",\"words\":[";
    for (size_t i = 0; i < f->words.size(); ++i)
        out += (i ? "," : "") + std::to_string(f->words[i]);
    out += "],\"raster_format\":\"" + hex_text(f->raster_format) +
           "\",\"levels_stored\":" + std::to_string(f->levels) +
           ",\"gx_format\":" + std::to_string(f->gx) + ",\"gx_format_name\":\"" +
           gx_format_name(f->gx) +
           "\",\"verified\":" + (gx_format_verified(f->gx) ? "true" : "false") +
           ",\"palette_format\":" + std::to_string(f->palette_format) +
           ",\"palette_format_name\":\"" + gx_palette_name(f->palette_format) +
           "\",\"palette_entries\":" + std::to_string(f->palette_entries) +
           ",\"alpha\":" + std::to_string(f->alpha) +
           ",\"data_size\":" + std::to_string(f->data_size) + "}";
    return out;
}

std::string gc_text(ps2_txd& txd, uint32_t t) {
    auto* gc = dynamic_cast<gc_txd*>(&txd);
    const auto f = gc ? gc->fields(t) : std::nullopt;
    if (!f) return {};
    char line[256];
    std::snprintf(line, sizeof line,
                  "     filter 0x%X words %u %u %u %u gx %s%s palette %s (%u entries) alpha %u "
                  "data %u\n",
                  f->filter, f->words[0], f->words[1], f->words[2], f->words[3],
                  gx_format_name(f->gx), gx_format_verified(f->gx) ? "" : " (unverified)",
                  gx_palette_name(f->palette_format), f->palette_entries, f->alpha, f->data_size);
    return line;
}
} // namespace

int cmd_list(const cli_args& args) {
    int code = k_exit_ok;
    auto opened = open_for_cli(args, code);
    if (!opened) return code;
    ps2_txd& txd = *opened->dictionary;
    const uint32_t count = txd.texture_count();
    const bool json = args.has("--json");

    if (json) {
        std::cout << "{\"platform\":\"" << opened->platform_name() << "\",\"version\":\""
                  << hex32(txd.root_version()) << "\",\"count\":" << count
                  << ",\"allocated_bytes\":" << txd.allocated_bytes << ",\"textures\":[";
    } else {
        std::cout << "platform " << opened->platform_name() << "\nversion "
                  << hex32(txd.root_version()) << "\ntextures " << count << "\nallocated_bytes "
                  << txd.allocated_bytes << "\n";
    }
    for (uint32_t t = 0; t < count; ++t) {
        const std::string name = txd.texture_name(t, name_kind::texture);
        const std::string mask = txd.texture_name(t, name_kind::mask);
        const uint32_t w = txd.width(t), h = txd.height(t), d = txd.depth(t);
        uint32_t format = txd.pixel_format(t), compression = txd.compression(t);
        if (auto* mobile = dynamic_cast<ios_txd*>(&txd); mobile && mobile->is_mobile_texture(t)) {
            // Mobile Structs carry no raster format word: the alpha byte tells DXT1 from DXT3
            // and 565 from 4444.
            format = mobile->stored_pixel_code(t);
            const bool alpha = format == pixel_code::rgba4444;
            if (compression) compression = alpha ? 3 : 1;
        }
        const uint32_t mips = txd.mip_count(t), platform = txd.platform_id(t);
        const bool swizzled = txd.is_swizzled(t);
        if (json) {
            char format_text[16];
            std::snprintf(format_text, sizeof format_text, "0x%X", format);
            std::cout << (t ? "," : "") << "{\"index\":" << t << ",\"name\":\"" << json_escape(name)
                      << "\",\"mask\":\"" << json_escape(mask) << "\",\"width\":" << w
                      << ",\"height\":" << h << ",\"depth\":" << d << ",\"pixel_format\":\""
                      << format_text << "\",\"compression\":" << compression
                      << ",\"mip_levels\":" << mips
                      << ",\"swizzled\":" << (swizzled ? "true" : "false")
                      << ",\"platform_id\":" << platform << gc_json(txd, t) << "}";
        } else {
            char line[512];
            std::snprintf(line, sizeof line,
                          "%3u  %-32s mask %-32s %ux%u %ubpp format 0x%X compression %u mips %u "
                          "swizzled %s platform %u",
                          t, printable_text(name).c_str(), printable_text(mask).c_str(), w, h, d,
                          format, compression, mips, swizzled ? "yes" : "no", platform);
            std::cout << line << "\n" << gc_text(txd, t);
        }
    }
    if (json) std::cout << "]}\n";
    return k_exit_ok;
}

} // namespace quillmap
