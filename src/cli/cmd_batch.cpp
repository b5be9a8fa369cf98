#include "cli/cli_commands.h"
#include "stream/file_name_text.h"

#include "batch/batch_progress.h"
#include "batch/batch_runner.h"
#include "cli/cli_png.h"
#include "cli/convert_targets.h"

#include <iostream>
#include <map>
#include <unistd.h>

namespace quillmap {

namespace {
const std::map<std::string, batch_action> k_actions = {
    {"list", batch_action::list},
    {"export", batch_action::export_textures},
    {"convert", batch_action::convert},
    {"lint", batch_action::lint},
};

std::string where(const std::string& file, const std::string& entry) {
    return entry.empty() ? file : file + ":" + entry;
}

// One JSON object per dictionary; a source that failed before opening gets one with its error.
void print_json(const dictionary_report& report) {
    const dictionary_source& source = *report.source;
    std::cout << "{\"file\":\"" << json_escape(source.file.string()) << "\",\"entry\":\""
              << json_escape(source.entry) << "\",\"offset\":" << source.offset
              << ",\"platform\":\"" << report.platform << "\",\"textures\":[";
    for (size_t i = 0; i < report.textures.size(); ++i) {
        const auto& texture = report.textures[i];
        std::cout << (i ? "," : "") << "{\"name\":\"" << json_escape(texture.name)
                  << "\",\"width\":" << texture.width << ",\"height\":" << texture.height
                  << ",\"depth\":" << texture.depth;
        if (!texture.output.empty())
            std::cout << ",\"output\":\"" << json_escape(texture.output) << "\"";
        if (!texture.error.empty())
            std::cout << ",\"error\":\"" << json_escape(texture.error) << "\"";
        std::cout << "}";
    }
    std::cout << "],\"findings\":[";
    for (size_t i = 0; i < report.findings.size(); ++i)
        std::cout << (i ? "," : "") << "{\"texture\":\"" << json_escape(report.findings[i].texture)
                  << "\",\"message\":\"" << json_escape(report.findings[i].message) << "\"}";
    std::cout << "]";
    if (!report.notes.empty()) {
        std::cout << ",\"notes\":[";
        for (size_t i = 0; i < report.notes.size(); ++i)
            std::cout << (i ? "," : "") << "\"" << json_escape(report.notes[i]) << "\"";
        std::cout << "]";
    }
    if (!report.output.empty()) std::cout << ",\"output\":\"" << json_escape(report.output) << "\"";
    if (!report.error.empty()) std::cout << ",\"error\":\"" << json_escape(report.error) << "\"";
    std::cout << ",\"failed\":" << report.failures() << "}\n";
}

void print_text(const dictionary_report& report, batch_action action) {
    const dictionary_source& source = *report.source;
    if (!report.error.empty() && report.platform.empty()) {
        std::cout << printable_text(source.shown) << ": not opened\n";
        return;
    }
    std::cout << printable_text(source.shown) << ": " << report.platform << ", "
              << report.textures.size() << " textures";
    if (action == batch_action::export_textures && report.error.empty())
        std::cout << " -> " << printable_text(source.out_dir.generic_string());
    if (!report.output.empty()) std::cout << " -> " << printable_text(report.output);
    if (report.failures()) std::cout << ", " << report.failures() << " failed";
    std::cout << "\n";
    for (const auto& note : report.notes)
        std::cout << "  " << printable_text(note) << "\n";
    if (action == batch_action::list)
        for (const auto& texture : report.textures)
            std::cout << "  " << printable_text(texture.name) << "  " << texture.width << "x"
                      << texture.height << " " << texture.depth << "bpp\n";
}

// Every failure of the run, each with the file, the archive entry and the texture it concerns.
void collect_failures(const dictionary_report& report, std::vector<batch_failure>& failures) {
    const dictionary_source& source = *report.source;
    const auto add = [&](const std::string& texture, const std::string& reason) {
        failures.push_back({source.file.string(), source.entry, texture, reason});
    };
    if (!report.error.empty()) add({}, report.error);
    for (const auto& texture : report.textures)
        if (!texture.error.empty()) add(texture.name, texture.error);
    for (const auto& finding : report.findings)
        add(finding.texture, finding.message);
}

batch_progress::style progress_style(const cli_args& args) {
    if (args.has("--quiet")) return batch_progress::style::quiet;
    return isatty(STDERR_FILENO) ? batch_progress::style::terminal : batch_progress::style::lines;
}
} // namespace

int cmd_batch(const cli_args& args) {
    if (args.positional.size() < 2)
        return usage_error("batch takes export|convert|lint|list and at least one INPUT");
    const auto action = k_actions.find(args.positional[0]);
    if (action == k_actions.end())
        return usage_error("batch takes export, convert, lint or list, not " + args.positional[0]);
    batch_options options;
    options.action = action->second;
    const bool writes =
        options.action == batch_action::export_textures || options.action == batch_action::convert;
    if (writes && !args.options.count("-o"))
        return usage_error("batch " + args.positional[0] + " needs -o OUT");
    options.out = args.get("-o");
    if (args.options.count("-f")) {
        if (options.action != batch_action::export_textures)
            return usage_error("-f chooses the picture format of batch export");
        options.format = find_export_format(args.get("-f"));
        if (!options.format) return usage_error("-f takes " + export_format_names());
    }
    if (args.options.count("-j")) {
        const auto jobs = parse_uint(args.get("-j"));
        if (!jobs || *jobs == 0) return usage_error("-j takes a number of jobs, 1 or more");
        options.jobs = *jobs;
    }
    options.overwrite = args.has("--overwrite");
    options.skip_existing = args.has("--skip-existing");
    if (options.overwrite && options.skip_existing)
        return usage_error("--overwrite and --skip-existing exclude each other");
    if (options.skip_existing && !writes)
        return usage_error("--skip-existing applies to batch export and convert");
    options.durable = args.has("--fsync");
    int code = k_exit_ok;
    const auto png = png_level_option(args, code);
    if (!png) return code;
    if (args.has("--png-level") && options.action != batch_action::export_textures)
        return usage_error("--png-level applies to batch export");
    options.png = *png;
    if (options.action == batch_action::convert) {
        auto convert = conversion_option(args, code);
        if (!convert) return code;
        options.convert = std::move(*convert);
    } else {
        for (const char* option : {"--to", "--depth", "--format", "--mips", "--dither"})
            if (args.has(option))
                return usage_error(std::string(option) + " applies to batch convert");
    }
    options.platforms = args.get("--platforms", std::string(k_all_platforms));
    const bool json = args.has("--json");

    std::vector<std::filesystem::path> inputs(args.positional.begin() + 1, args.positional.end());
    // Archives of many thousand entries take a moment to plan: say how far it has come.
    const bool show_collecting = progress_style(args) == batch_progress::style::terminal;
    source_list list = collect_sources(inputs, [&](size_t done, size_t total) {
        if (show_collecting && total >= 4096)
            std::cerr << "\rPlanning outputs: " << done << "/" << total
                      << (done == total ? "\n" : "") << std::flush;
    });
    std::vector<batch_failure> failures = list.failures;
    for (const auto& failure : list.failures) {
        if (json)
            std::cout << "{\"file\":\"" << json_escape(failure.file) << "\",\"entry\":\""
                      << json_escape(failure.entry) << "\",\"error\":\""
                      << json_escape(failure.reason) << "\"}\n";
        else
            std::cout << printable_text(where(failure.file, failure.entry)) << ": not read\n";
    }

    batch_progress progress(std::cerr, progress_style(args));
    const auto on_report = [&](const dictionary_report& report) {
        progress.finish();
        if (json)
            print_json(report);
        else
            print_text(report, options.action);
        std::cout.flush();
        collect_failures(report, failures);
    };
    const auto on_progress = [&](size_t done, size_t total, const dictionary_source& current,
                                 bool started) { progress.update(done, total, current, started); };
    const batch_summary summary =
        run_batch(list.sources, list.failures.size(), options, on_report, on_progress);
    progress.finish();

    // The failures again in one place, so that a long run's problems are not lost in its report.
    std::ostream& tail = json ? std::cerr : std::cout;
    for (const auto& failure : failures)
        tail << "failed: " << printable_text(where(failure.file, failure.entry))
             << (failure.texture.empty() ? "" : " [" + printable_text(failure.texture) + "]")
             << ": " << printable_text(failure.reason) << "\n";
    tail << summary.dictionaries << " dictionaries, " << summary.textures << " textures, "
         << summary.failed << " failed";
    if (summary.kept) tail << ", " << summary.kept << " kept (already there)";
    if (summary.stopped())
        tail << "; stopped, " << summary.not_started
             << " not started (run again with --skip-existing to make what is missing)";
    tail << "\n";
    if (summary.stopped()) return k_exit_interrupted;
    return summary.failed ? k_exit_failure : k_exit_ok;
}

} // namespace quillmap
