#include "cli/cli_commands.h"
#include "cli/cli_png.h"
#include "imageio/ps2_conversion.h"

#include <iostream>

int cmd_convert(const cli_args& args) {
    if (!args.options.count("-o")) return usage_error("convert needs -o OUT.txd");
    int code = k_exit_ok;
    // --depth and --mips apply to textures of other platforms; PS2 textures stay as they are.
    const std::string depth = args.get("--depth", "keep");
    if (depth != "keep" && depth != "4" && depth != "8" && depth != "32")
        return usage_error("--depth takes 4, 8, 32 or keep");
    const auto mips = mips_option(args, code);
    const auto dither = dither_option(args, code);
    if (!mips || !dither) return code;
    const uint32_t bits = depth == "keep" ? 0 : uint32_t(std::stoul(depth));
    // Sizes the game refuses are scaled to the nearest it takes, whatever else is asked.
    std::vector<std::string> scaled;
    const raster_transform transform = ps2_conversion_transform(bits, *mips, *dither, &scaled);

    auto opened = open_for_cli(args, code);
    if (!opened) return code;
    std::vector<std::string> skipped;
    if (!opened->session.convert_to_ps2(args.get("-o"), &skipped, &transform))
        return failure(opened->session.last_error());
    for (const auto& line : scaled)
        std::cout << line << "\n";
    // Textures without pixels (PVR, ATC, damaged ones) are left out; say which.
    for (const auto& name : skipped)
        std::cerr << "skipped " << name << "\n";
    return k_exit_ok;
}
