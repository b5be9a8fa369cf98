#include "cli/cli_commands.h"
#include "cli/cli_png.h"
#include "cli/convert_targets.h"
#include "imageio/ps2_conversion.h"

#include <iostream>

namespace quillmap {

namespace {
// Opens FILE, runs one conversion into -o with the --mips asked for, and prints its notes and
// the textures it left out.
template <class Options, class Convert>
int convert_layout(const cli_args& args, Options options, Convert convert) {
    int code = k_exit_ok;
    if (args.has("--mips")) {
        const auto mips = mips_request_option(args, code);
        if (!mips) return code;
        options.mips = *mips;
    }
    auto opened = open_for_cli(args, code);
    if (!opened) return code;
    std::vector<std::string> skipped, notes;
    if (!convert(opened->session, options, skipped, notes))
        return failure(opened->session.last_error());
    for (const auto& note : notes)
        std::cout << note << "\n";
    for (const auto& name : skipped)
        std::cerr << "skipped " << name << "\n";
    return k_exit_ok;
}

// --to d3d8|d3d9|xbox: every texture rebuilt in that layout.
int convert_to_pc_layout(const cli_args& args, pc_layout layout) {
    int code = k_exit_ok;
    const auto format = format_option(args, code);
    const auto dither = dither_option(args, code);
    if (!format || !dither) return code;
    pc_convert_options options;
    options.layout = layout;
    options.format = *format;
    options.dither = *dither;
    return convert_layout(
        args, options,
        [&](editor_session& session, const auto& chosen, auto& skipped, auto& notes) {
            return session.convert_to_pc(args.get("-o"), chosen, skipped, notes);
        });
}

// --to mobile: every texture rebuilt in the mobile layout.
int convert_to_mobile_layout(const cli_args& args) {
    int code = k_exit_ok;
    const auto format = mobile_format_option(args, code);
    if (!format) return code;
    mobile_convert_options options;
    options.format = *format;
    return convert_layout(
        args, options,
        [&](editor_session& session, const auto& chosen, auto& skipped, auto& notes) {
            return session.convert_to_mobile(args.get("-o"), chosen, skipped, notes);
        });
}
// --to gamecube: every texture as the nearest kind real GameCube files hold.
int convert_to_gamecube_layout(const cli_args& args) {
    int code = k_exit_ok;
    const auto format = gc_format_option(args, code);
    const auto dither = dither_option(args, code);
    if (!format || !dither) return code;
    gc_convert_options options;
    options.format = *format;
    options.dither = *dither;
    return convert_layout(
        args, options,
        [&](editor_session& session, const auto& chosen, auto& skipped, auto& notes) {
            return session.convert_to_gamecube(args.get("-o"), chosen, skipped, notes);
        });
}
} // namespace

int cmd_convert(const cli_args& args) {
    if (!args.options.count("-o")) return usage_error("convert needs -o OUT.txd");
    const auto to = convert_target_named(args.get("--to", "ps2"));
    if (!to) return usage_error("--to takes " + convert_target_list());
    switch (*to) {
    case convert_target::d3d8:
        return convert_to_pc_layout(args, pc_layout::d3d8);
    case convert_target::d3d9:
        return convert_to_pc_layout(args, pc_layout::d3d9);
    case convert_target::xbox:
        return convert_to_pc_layout(args, pc_layout::xbox);
    case convert_target::mobile:
        return convert_to_mobile_layout(args);
    case convert_target::gamecube:
        return convert_to_gamecube_layout(args);
    case convert_target::ps2:
        break;
    }
    if (args.has("--format"))
        return usage_error("--format applies to --to d3d8, d3d9, xbox, mobile and gamecube");
    int code = k_exit_ok;
    // --depth and --mips apply to textures of other platforms; PS2 textures stay as they are.
    const std::string depth = args.get("--depth", "keep");
    if (depth != "keep" && depth != "4" && depth != "8" && depth != "32")
        return usage_error("--depth takes 4, 8, 32 or keep");
    // The source's own mip levels stay unless a count (or auto) is asked for.
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

} // namespace quillmap
