#include "cli/cli_commands.h"
#include "dictionary/ios_txd.h"
#include "raster/pixel_format.h"
#include "stream/file_name_text.h"

#include <cstdio>
#include <iostream>

namespace quillmap {

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
                      << ",\"platform_id\":" << platform << "}";
        } else {
            char line[512];
            std::snprintf(line, sizeof line,
                          "%3u  %-32s mask %-32s %ux%u %ubpp format 0x%X compression %u mips %u "
                          "swizzled %s platform %u",
                          t, printable_text(name).c_str(), printable_text(mask).c_str(), w, h, d,
                          format, compression, mips, swizzled ? "yes" : "no", platform);
            std::cout << line << "\n";
        }
    }
    if (json) std::cout << "]}\n";
    return k_exit_ok;
}

} // namespace quillmap
