#include "cli/cli_png.h"

#include <iostream>

namespace quillmap {

std::optional<uint32_t> level_option(const cli_args& args, int& exit_code) {
    if (!args.has("--level")) return 0u;
    const auto level = parse_uint(args.get("--level"));
    if (!level) exit_code = usage_error("--level needs a number");
    return level;
}

std::optional<png_write_options> png_level_option(const cli_args& args, int& exit_code) {
    png_write_options options;
    if (!args.has("--png-level")) return options;
    const auto level = parse_uint(args.get("--png-level"));
    if (!level || *level > uint32_t(k_png_max_level)) {
        exit_code = usage_error("--png-level takes a number from 0 (fastest) to " +
                                std::to_string(k_png_max_level) + " (smallest)");
        return std::nullopt;
    }
    options.level = int(*level);
    return options;
}

std::optional<bool> dither_option(const cli_args& args, int& exit_code) {
    const std::string dither = args.get("--dither", "on");
    if (dither == "on") return true;
    if (dither == "off") return false;
    exit_code = usage_error("--dither takes on or off");
    return std::nullopt;
}

std::optional<uint32_t> mips_option(const cli_args& args, int& exit_code) {
    const std::string mips = args.get("--mips", "keep");
    if (mips == "auto") return 0u;
    if (mips == "keep") return k_mips_keep;
    const auto count = parse_uint(mips);
    if (!count || *count == 0) {
        exit_code = usage_error("--mips takes a level count, auto or keep");
        return std::nullopt;
    }
    return count;
}

std::optional<std::optional<pc_format>> format_option(const cli_args& args, int& exit_code) {
    if (!args.has("--format")) return std::optional<pc_format>{};
    const auto format = pc_format_named(args.get("--format"));
    if (!format) {
        exit_code = usage_error("--format takes dxt1, dxt3, dxt5, 8888, 888, pal8 or pal4");
        return std::nullopt;
    }
    return format;
}

std::optional<std::optional<mobile_format>> mobile_format_option(const cli_args& args,
                                                                 int& exit_code) {
    if (!args.has("--format")) return std::optional<mobile_format>{};
    const auto format = mobile_format_named(args.get("--format"));
    if (!format) {
        exit_code = usage_error("--format takes dxt1, dxt3, 565 or 4444 for mobile textures");
        return std::nullopt;
    }
    return format;
}

std::optional<std::optional<gc_format>> gc_format_option(const cli_args& args, int& exit_code) {
    if (!args.has("--format")) return std::optional<gc_format>{};
    const auto format = gc_format_named(args.get("--format"));
    if (!format) {
        exit_code =
            usage_error("--format takes c4, c8, rgb5a3, rgba8 or cmpr for GameCube textures");
        return std::nullopt;
    }
    return format;
}

std::optional<mips_request> mips_request_option(const cli_args& args, int& exit_code) {
    const std::string mips = args.get("--mips", "keep");
    if (mips == "keep") return mips_request{mips_mode::keep, 0};
    if (mips == "regenerate") return mips_request{mips_mode::regenerate, 0};
    if (mips == "auto") return mips_request{mips_mode::full_chain, 0};
    const auto count = parse_uint(mips);
    if (!count || *count == 0) {
        exit_code = usage_error("--mips takes a level count, auto, keep or regenerate");
        return std::nullopt;
    }
    return mips_request{mips_mode::count, *count};
}

std::optional<png_add_options> add_png_options(const cli_args& args, int& exit_code) {
    png_add_options options;
    const std::string depth = args.get("--depth", "8");
    if (depth != "4" && depth != "8" && depth != "32") {
        exit_code = usage_error("--depth takes 4, 8 or 32");
        return std::nullopt;
    }
    options.depth = uint32_t(std::stoul(depth));
    const auto mips = mips_option(args, exit_code);
    const auto dither = dither_option(args, exit_code);
    if (!mips || !dither) return std::nullopt;
    options.mips = *mips;
    options.dither = *dither;
    options.resize = args.has("--resize");
    options.swizzle = args.get("--swizzle", "on") != "off";
    // The name decides the family it applies to; dxt1 and dxt3 serve both.
    if (args.has("--format")) {
        options.format = pc_format_named(args.get("--format"));
        options.mobile = mobile_format_named(args.get("--format"));
        options.gamecube = gc_format_named(args.get("--format"));
        if (!options.format && !options.mobile && !options.gamecube) {
            exit_code = usage_error("--format takes dxt1, dxt3, dxt5, 8888, 888, pal8 or pal4 "
                                    "(PC, XBOX), dxt1, dxt3, 565 or 4444 (mobile) or c4, c8, "
                                    "rgb5a3, rgba8 or cmpr (GameCube)");
            return std::nullopt;
        }
    }
    return options;
}

} // namespace quillmap
