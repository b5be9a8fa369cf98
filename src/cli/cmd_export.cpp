#include "cli/cli_commands.h"
#include "cli/cli_edit.h"
#include "cli/cli_png.h"
#include "session/session_messages.h"
#include "stream/ascii_lower.h"
#include "stream/file_name_text.h"
#include "stream/safe_file.h"
#include "stream/stop_request.h"

#include <filesystem>
#include <iostream>
#include <string>

namespace quillmap {

namespace {
// The type from -f, else from the output file's extension; bmp when neither names one.
std::optional<export_type> chosen_export_type(const cli_args& args,
                                              const std::filesystem::path* file, int& exit_code) {
    if (args.options.count("-f")) {
        const std::optional<export_type> type =
            export_type_of_extension(ascii_lower(args.get("-f")));
        if (!type) exit_code = usage_error("-f takes png, bmp, tm2, rwsect or dds");
        return type;
    }
    if (!file) return export_type::bmp;
    const std::string extension = file->extension().string();
    const std::optional<export_type> type = export_type_of_extension(ascii_lower(extension));
    if (!type) {
        const std::string shown =
            extension.empty() ? file->filename().string() : extension.substr(1);
        exit_code = failure(shown + session_msg::unknown_extension);
    }
    return type;
}
} // namespace

int cmd_export(const cli_args& args) {
    if (args.positional.size() != 1) return usage_error("export takes FILE (-t N | --all)");
    const bool all = args.has("--all");
    if (all == (args.options.count("-t") > 0)) return usage_error("give either -t N or --all");
    int code = k_exit_ok;
    auto view = view_option(args, code);
    if (!view) return code;
    auto swizzle = swizzle_option(args, code);
    if (!swizzle) return code;

    // -o names a folder (existing, or any path with --all) or, for one texture, the file.
    std::optional<std::filesystem::path> folder, file;
    if (args.options.count("-o")) {
        const std::filesystem::path out = args.get("-o");
        std::error_code ec;
        if (all || std::filesystem::is_directory(out, ec))
            folder = out;
        else
            file = out;
    }
    const std::optional<export_type> chosen =
        chosen_export_type(args, file ? &*file : nullptr, code);
    if (!chosen) return code;
    const export_type type = *chosen;
    // Only a PNG can hold any level; the other types hold level 0.
    const auto level = level_option(args, code);
    if (!level) return code;
    if (*level && type != export_type::png) return usage_error("--level needs -f png");
    const auto png = png_level_option(args, code);
    if (!png) return code;
    if (args.has("--png-level") && type != export_type::png)
        return usage_error("--png-level needs -f png");

    auto opened = open_for_cli(args, code);
    if (!opened) return code;
    if (const char* refused = opened->session.refusal(restrict_export)) return failure(refused);
    ps2_txd& txd = *opened->dictionary;
    const export_settings settings{*view, type, *swizzle, *level, *png};
    if (!all) {
        auto t = texture_index(args, txd, code);
        if (!t) return code;
        std::filesystem::path target;
        if (file)
            target = *file;
        else
            target = (folder ? *folder : std::filesystem::path()) /
                     clean_file_name(txd.default_export_name(*t, *view, type), "texture");
        if (folder) {
            std::string error;
            if (!safe_file::make_folders(*folder, {}, error)) return failure(error);
        }
        if (!opened->session.export_texture(*t, *view, type, &target, *swizzle, *level, *png))
            return failure(opened->session.error_text());
        std::cout << printable_text(target.string()) << "\n";
        return k_exit_ok;
    }
    // Every texture is tried; the ones that fail are named on stderr and make the exit code 1.
    std::vector<uint32_t> textures(txd.texture_count());
    for (uint32_t t = 0; t < textures.size(); ++t)
        textures[t] = t;
    export_report report;
    // Ctrl-C stops after the texture being written.
    const auto go_on = [](uint32_t, uint32_t, const std::string&) {
        return !stop_request::requested();
    };
    if (!opened->session.export_textures(textures, folder.value_or(std::filesystem::path()),
                                         settings, report, go_on))
        return failure(opened->session.error_text());
    for (const auto& path : report.written)
        std::cout << printable_text(path.string()) << "\n";
    for (const auto& failed : report.failures)
        std::cerr << printable_text(failed.file) << ": " << failed.error << "\n";
    return report.failures.empty() ? k_exit_ok : k_exit_failure;
}

} // namespace quillmap
