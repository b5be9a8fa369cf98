#include "cli/cli_commands.h"
#include "cli/cli_edit.h"
#include "cli/cli_png.h"
#include "session/export_names.h"
#include "session/session_messages.h"
#include "stream/file_name_text.h"
#include "stream/safe_file.h"

#include <filesystem>
#include <iostream>
#include <string>

namespace {
// The type from -f, else from the output file's extension; bmp when neither names one.
std::optional<export_type> chosen_export_type(const cli_args& args,
                                              const std::filesystem::path* file, int& exit_code) {
    if (args.options.count("-f")) {
        const std::optional<export_type> type = export_type_of_extension(args.get("-f"));
        if (!type) exit_code = usage_error("-f takes png, bmp, tm2, rwsect or dds");
        return type;
    }
    if (!file) return export_type::bmp;
    const std::string extension = file->extension().string();
    const std::optional<export_type> type = export_type_of_extension(extension);
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

    auto opened = open_for_cli(args, code);
    if (!opened) return code;
    if (const char* refused = opened->session.refusal(restrict_export)) return failure(refused);
    ps2_txd& txd = *opened->dictionary;
    if (folder) {
        std::string error;
        if (!safe_file::make_folders(*folder, {}, error)) return failure(error);
    }

    // Two textures of one name (or of names that differ in case only) must not overwrite
    // each other.
    export_name_set names;
    auto export_one = [&](uint32_t t) {
        std::filesystem::path target;
        const std::filesystem::path* path = nullptr;
        if (file) {
            path = &*file;
        } else if (folder) {
            target = *folder / names.claim(txd.default_export_name(t, *view, type));
            path = &target;
        }
        if (!opened->session.export_texture(t, *view, type, path, *swizzle, *level))
            return failure(opened->session.last_error());
        std::cout << printable_text(path ? path->string() : txd.default_export_name(t, *view, type))
                  << "\n";
        return k_exit_ok;
    };
    if (!all) {
        auto t = texture_index(args, txd, code);
        if (!t) return code;
        return export_one(*t);
    }
    for (uint32_t t = 0; t < txd.texture_count(); ++t)
        if (int result = export_one(t); result != k_exit_ok) return result;
    return k_exit_ok;
}
