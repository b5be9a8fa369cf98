#include "cli/convert_targets.h"

#include "cli/cli_png.h"
#include "imageio/convert_gc.h"
#include "imageio/convert_mobile.h"
#include "imageio/convert_pc.h"
#include "imageio/ps2_conversion.h"

namespace quillmap {

namespace {
// --mips N|auto|keep|regenerate for the PC and mobile layouts; none keeps each texture's count.
bool layout_mips(const cli_args& args, std::optional<mips_request>& mips, int& exit_code) {
    if (!args.has("--mips")) return true;
    const auto asked = mips_request_option(args, exit_code);
    if (!asked) return false;
    mips = *asked;
    return true;
}

// The conversion of a layout whose converter takes its options by value.
template <typename Options>
dictionary_converter converting_with(const Options& options,
                                     bool (*convert)(ps2_txd&, const std::filesystem::path&,
                                                     const Options&, std::vector<std::string>&,
                                                     std::vector<std::string>&, std::string&)) {
    return [options, convert](ps2_txd& source, const std::filesystem::path& out,
                              std::vector<std::string>& skipped, std::vector<std::string>& notes,
                              std::string& error) {
        return convert(source, out, options, skipped, notes, error);
    };
}

std::optional<dictionary_converter> plan_ps2(const cli_args& args, int& exit_code) {
    if (args.has("--format")) {
        exit_code = usage_error("--format applies to --to d3d8, d3d9, xbox, mobile and gamecube");
        return std::nullopt;
    }
    // --depth and --mips apply to textures of other platforms; PS2 textures stay as they are.
    const std::string depth = args.get("--depth", "keep");
    if (depth != "keep" && depth != "4" && depth != "8" && depth != "32") {
        exit_code = usage_error("--depth takes 4, 8, 32 or keep");
        return std::nullopt;
    }
    const auto mips = mips_option(args, exit_code);
    const auto dither = dither_option(args, exit_code);
    if (!mips || !dither) return std::nullopt;
    const uint32_t bits = depth == "keep" ? 0 : uint32_t(std::stoul(depth));
    return dictionary_converter([bits, mips = *mips, dither = *dither](
                                    ps2_txd& source, const std::filesystem::path& out,
                                    std::vector<std::string>& skipped,
                                    std::vector<std::string>& notes, std::string& error) {
        // Sizes the game refuses are scaled to the nearest it takes, whatever else is asked.
        const raster_transform transform = ps2_conversion_transform(bits, mips, dither, &notes);
        return convert_to_ps2(source, out, error, &skipped, &transform);
    });
}

bool refuse_depth(const cli_args& args, int& exit_code) {
    if (!args.has("--depth")) return false;
    exit_code = usage_error("--depth applies to --to ps2; other platforms take --format");
    return true;
}

template <pc_layout Layout>
std::optional<dictionary_converter> plan_pc(const cli_args& args, int& exit_code) {
    if (refuse_depth(args, exit_code)) return std::nullopt;
    const auto format = format_option(args, exit_code);
    const auto dither = dither_option(args, exit_code);
    if (!format || !dither) return std::nullopt;
    pc_convert_options options;
    options.layout = Layout;
    options.format = *format;
    options.dither = *dither;
    if (!layout_mips(args, options.mips, exit_code)) return std::nullopt;
    return converting_with(options, convert_to_pc);
}

std::optional<dictionary_converter> plan_mobile(const cli_args& args, int& exit_code) {
    if (refuse_depth(args, exit_code)) return std::nullopt;
    const auto format = mobile_format_option(args, exit_code);
    if (!format) return std::nullopt;
    mobile_convert_options options;
    options.format = *format;
    if (!layout_mips(args, options.mips, exit_code)) return std::nullopt;
    return converting_with(options, convert_to_mobile);
}

std::optional<dictionary_converter> plan_gamecube(const cli_args& args, int& exit_code) {
    if (refuse_depth(args, exit_code)) return std::nullopt;
    const auto format = gc_format_option(args, exit_code);
    const auto dither = dither_option(args, exit_code);
    if (!format || !dither) return std::nullopt;
    gc_convert_options options;
    options.format = *format;
    options.dither = *dither;
    if (!layout_mips(args, options.mips, exit_code)) return std::nullopt;
    return converting_with(options, convert_to_gc);
}

const convert_target k_targets[] = {
    {"ps2", plan_ps2},
    {"d3d8", plan_pc<pc_layout::d3d8>},
    {"d3d9", plan_pc<pc_layout::d3d9>},
    {"xbox", plan_pc<pc_layout::xbox>},
    {"mobile", plan_mobile},
    {"gamecube", plan_gamecube},
};
} // namespace

std::span<const convert_target> convert_targets() {
    return k_targets;
}

std::string convert_target_names() {
    std::string names;
    const auto targets = convert_targets();
    for (size_t i = 0; i < targets.size(); ++i)
        names += std::string(i == 0                    ? ""
                             : i + 1 == targets.size() ? " or "
                                                       : ", ") +
                 targets[i].name;
    return names;
}

std::optional<dictionary_converter> conversion_option(const cli_args& args, int& exit_code) {
    const std::string to = args.get("--to", "ps2");
    for (const auto& target : convert_targets())
        if (to == target.name) return target.plan(args, exit_code);
    exit_code = usage_error("--to takes " + convert_target_names());
    return std::nullopt;
}

} // namespace quillmap
