#include "cli/cli_commands.h"

#include "raster/display_bmp.h"
#include "stream/safe_file.h"

#include <cstdio>
#include <fstream>
#include <iostream>

namespace quillmap {

// render FILE -t N [--level K] [--view texture|alpha|mixed] [--swizzle auto|on|off] -o OUT.bmp
// Writes the preview picture of one mip level: 24 bits for texture and alpha view, 32 bits
// (with alpha) for mixed view.
int cmd_render(const cli_args& args) {
    const std::string out_path = args.get("-o");
    if (out_path.empty()) return usage_error("render needs -o OUT.bmp");
    int code = k_exit_ok;
    const auto mode = view_option(args, code);
    if (!mode) return code;
    const auto swizzle = swizzle_option(args, code);
    if (!swizzle) return code;
    uint32_t level = 0;
    if (args.has("--level")) {
        const auto parsed = parse_uint(args.get("--level"));
        if (!parsed) return usage_error("--level needs a number");
        level = *parsed;
    }

    auto opened = open_for_cli(args, code);
    if (!opened) return code;
    ps2_txd& txd = *opened->dictionary;
    const auto t = texture_index(args, txd, code);
    if (!t) return code;
    const uint32_t levels = txd.mip_count(*t);
    if (levels && level >= levels) {
        return failure("Texture " + std::to_string(*t) + " has " + std::to_string(levels) +
                       " mip level(s); level " + std::to_string(level) + " does not exist.");
    }

    txd.last_error.clear();
    bool stored_swizzled = false;
    const device_bitmap picture = txd.render(*t, *mode, *swizzle, &stored_swizzled, level);
    if (!picture) {
        return failure(txd.last_error.empty()
                           ? "Texture " + std::to_string(*t) + " has no picture at this level."
                           : txd.last_error);
    }
    const std::vector<uint8_t> bytes =
        display_image_to_bmp(*picture, *mode == view_mode::mixed ? 32 : 24);
    if (bytes.empty()) return failure("Current BPP is not supported");
    std::string error;
    if (!safe_file::write_file(out_path, bytes, error)) return failure(error);

    // The two status texts the preview shows beside the picture.
    const char* view = *mode == view_mode::texture ? "Texture"
                       : *mode == view_mode::alpha ? "Alpha"
                                                   : "Mixed";
    const char* state = *swizzle == swizzle_mode::on    ? "Swizzling is ON"
                        : *swizzle == swizzle_mode::off ? "Swizzling is OFF"
                        : stored_swizzled               ? "Texture unswizzled"
                                                        : "Texture have no swizzling";
    char line[256];
    std::snprintf(line, sizeof line, "%ux%u, %ubpp, %s\n%s\n", txd.width(*t), txd.height(*t),
                  txd.depth(*t), view, state);
    std::cout << line;
    return k_exit_ok;
}

} // namespace quillmap
