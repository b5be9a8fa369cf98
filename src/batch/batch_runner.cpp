#include "batch/batch_runner.h"

#include "dictionary/convert_ps2.h"
#include "dictionary/txd_probe.h"
#include "imageio/ps2_conversion.h"
#include "session/texture_export.h"
#include "stream/ascii_lower.h"
#include "stream/safe_file.h"
#include "stream/stop_request.h"
#include "stream/work_pool.h"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <optional>
#include <set>
#include <system_error>

namespace quillmap {

namespace fs = std::filesystem;

probe_result open_dictionary_source(const dictionary_source& source, std::string_view platforms,
                                    std::string& error) {
    probe_result probe;
    if (source.offset > UINT32_MAX) {
        error = "the dictionary lies beyond 4 GiB, where it cannot be opened";
        return probe;
    }
    probe = probe_dictionary(source.file, uint32_t(source.offset), platforms);
    if (!probe.dictionary) {
        // Say what is wrong with the file (too short, an absurd root size, not RenderWare...).
        error = probe.reason.empty() ? std::string("Unsupported TXD file type.")
                                     : "Unsupported TXD file type. (" + probe.reason + ")";
        return probe;
    }
    // TEX containers are rebuilt in memory; their root has no size in the file.
    const bool chunk_file = probe.platform != txd_platform::tex;
    if (chunk_file && source.size != 0 && probe.dictionary->root &&
        uint64_t(probe.dictionary->root->size) + k_chunk_header_bytes > source.size) {
        error = "the dictionary runs past the end of its archive entry";
        probe.dictionary.reset();
    }
    return probe;
}

namespace {
// A file name for the texture, unique within its folder (case-blind) by a numbered suffix.
std::string unique_name(const std::string& stem, const std::string& extension,
                        std::set<std::string>& taken) {
    std::string name = stem + extension;
    for (unsigned n = 2; !taken.insert(ascii_lower(name)).second; ++n)
        name = stem + "_" + std::to_string(n) + extension;
    return name;
}

// Creates the folder under the output root without following a symlink planted in the tree.
bool prepare_folder(const batch_options& options, const fs::path& relative, std::string& error) {
    return safe_file::make_folders(options.out, relative, error);
}

enum class output_plan { write, keep, refuse };

// Whether the output `target` is written, kept as it is (--skip-existing and a complete file
// there: outputs appear only whole), or refused with `error`.
output_plan may_write(const fs::path& target, const batch_options& options, std::string& error) {
    std::error_code ec;
    const auto status = fs::symlink_status(target, ec);
    if (fs::is_symlink(status)) {
        error =
            target.string() + " is a symbolic link; batch outputs are never written through one";
        return output_plan::refuse;
    }
    if (!fs::exists(status)) return output_plan::write;
    if (options.skip_existing && fs::is_regular_file(status) && fs::file_size(target, ec) != 0 &&
        !ec)
        return output_plan::keep;
    if (options.overwrite) return output_plan::write;
    error = target.string() + " exists; --overwrite replaces it, --skip-existing keeps it";
    return output_plan::refuse;
}

void export_textures(ps2_txd& dictionary, uint32_t restriction, const dictionary_source& source,
                     const batch_options& options, dictionary_report& report) {
    if (restriction & restrict_export) {
        report.error = "Texture exporting is disabled for this format.";
        return;
    }
    const export_format& format = options.format ? *options.format : default_export_format();
    const fs::path folder = options.out / source.out_dir;
    if (!prepare_folder(options, source.out_dir, report.error)) return;
    // The dictionary's own export, as stored: texture view, swizzle as each texture says.
    export_settings settings;
    settings.type = format.type;
    settings.png = options.png;
    std::set<std::string> taken;
    for (auto& texture : report.textures) {
        const uint32_t t = uint32_t(&texture - report.textures.data());
        const std::string stem = safe_file_name(texture.name, "texture" + std::to_string(t));
        const std::string name = unique_name(stem, format.extension, taken);
        const fs::path target = folder / name;
        const output_plan plan = may_write(target, options, texture.error);
        texture.kept = plan == output_plan::keep;
        if (texture.kept || (plan == output_plan::write &&
                             write_texture_file(dictionary, t, settings, target, texture.error)))
            texture.output = (source.out_dir / name).generic_string();
        // Exports read the raster on demand; give it back so memory stays flat per job.
        dictionary.release_pixels(t);
    }
}

void convert_dictionary(ps2_txd& dictionary, const dictionary_source& source,
                        const batch_options& options, dictionary_report& report) {
    const fs::path relative =
        source.out_dir.parent_path() / (source.out_dir.filename().string() + ".txd");
    const fs::path target = options.out / relative;
    if (!prepare_folder(options, relative.parent_path(), report.error)) return;
    const output_plan plan = may_write(target, options, report.error);
    if (plan == output_plan::refuse) return;
    if (plan == output_plan::keep) {
        report.kept = true;
        report.output = relative.generic_string();
        report.notes.push_back("kept: " + report.output + " exists");
        return;
    }
    std::vector<std::string> skipped, notes;
    if (options.convert) {
        if (!options.convert(dictionary, target, skipped, notes, report.error)) return;
    } else {
        // The rule of every conversion: sizes the game refuses are scaled, and named.
        const raster_transform sizes = ps2_game_sizes_transform(&notes);
        if (!convert_to_ps2(dictionary, target, report.error, &skipped, &sizes)) return;
    }
    report.output = relative.generic_string();
    report.notes.insert(report.notes.end(), notes.begin(), notes.end());
    // Skipped textures are named in texture order; match them up one by one.
    size_t next = 0;
    for (auto& texture : report.textures)
        if (next < skipped.size() && texture.name == skipped[next]) {
            texture.error = "has no pixels that can be converted";
            ++next;
        }
}
// Says so when the outputs are not named as the source is: "NAME" -> "OUTPUT" and why.
void note_changed_name(const dictionary_source& source, dictionary_report& report) {
    const std::string output = source.out_dir.filename().string();
    if (source.stem.empty() || output == source.stem) return;
    const bool made_safe = safe_file_name(source.stem, {}) != source.stem;
    report.notes.push_back("\"" + source.stem + "\" -> \"" + output + "\"" +
                           (made_safe ? " (name made safe)" : " (name already taken)"));
}
} // namespace

size_t dictionary_report::kept_outputs() const {
    size_t count = kept ? 1 : 0;
    for (const auto& texture : textures)
        count += texture.kept ? 1 : 0;
    return count;
}

size_t dictionary_report::failures() const {
    size_t count = error.empty() ? 0 : 1;
    for (const auto& texture : textures)
        count += texture.error.empty() ? 0 : 1;
    return count + findings.size();
}

size_t remove_stale_temporaries(const fs::path& out) {
    size_t removed = 0;
    std::error_code ec;
    if (out.empty() || !fs::is_directory(out, ec)) return 0;
    fs::recursive_directory_iterator it(out, fs::directory_options::skip_permission_denied, ec);
    for (fs::recursive_directory_iterator end; !ec && it != end; it.increment(ec)) {
        // A temporary file a live save still holds (its writer's lock) is left alone.
        if (!it->is_symlink(ec) && it->is_regular_file(ec) &&
            safe_file::remove_unheld_temporary(it->path()))
            ++removed;
    }
    return removed;
}

dictionary_report process_source(const dictionary_source& source, const batch_options& options) {
    // Outputs are new files in the output tree: no link is followed, nothing is replaced unless
    // asked, and a re-run remakes anything a crash lost, so flushing is the caller's choice.
    const safe_file::output_policy outputs(
        safe_file::output_folder_options(options.overwrite, options.durable));
    dictionary_report report;
    report.source = &source;
    probe_result probe = open_dictionary_source(source, options.platforms, report.error);
    if (!probe.dictionary) return report;
    ps2_txd& dictionary = *probe.dictionary;
    report.platform = platform_name(*probe.platform);
    const uint32_t count = dictionary.texture_count();
    report.textures.resize(count);
    for (uint32_t t = 0; t < count; ++t) {
        auto& texture = report.textures[t];
        texture.name = dictionary.texture_name(t, name_kind::texture);
        texture.width = dictionary.width(t);
        texture.height = dictionary.height(t);
        texture.depth = dictionary.depth(t);
    }
    const bool writes =
        options.action == batch_action::export_textures || options.action == batch_action::convert;
    if (writes) note_changed_name(source, report);
    switch (options.action) {
    case batch_action::list:
        break;
    case batch_action::export_textures:
        export_textures(dictionary, probe.restriction_mask, source, options, report);
        break;
    case batch_action::convert:
        convert_dictionary(dictionary, source, options, report);
        break;
    case batch_action::lint:
        report.findings = lint_for_batch(dictionary);
        break;
    }
    return report;
}

unsigned job_count(unsigned requested, size_t sources) {
    const unsigned jobs = requested ? requested : work_pool::shared().budget();
    return unsigned(std::max<size_t>(1, std::min<size_t>(jobs, sources)));
}

batch_summary run_batch(const std::vector<dictionary_source>& sources, size_t source_failures,
                        const batch_options& options, const report_sink& on_report,
                        const progress_sink& on_progress) {
    batch_summary summary;
    summary.dictionaries = sources.size();
    summary.failed = source_failures;
    if (options.action == batch_action::export_textures || options.action == batch_action::convert)
        remove_stale_temporaries(options.out);

    std::vector<std::optional<dictionary_report>> reports(sources.size());
    std::vector<char> skipped(sources.size(), 0); // left alone after a stop request
    std::mutex lock; // guards reports, the emission point, the summary and the sinks
    size_t emitted = 0, done = 0;

    // Reports leave in source order: each waits for those before it. Call with `lock` held.
    const auto emit_ready = [&] {
        while (emitted < reports.size() && (reports[emitted] || skipped[emitted])) {
            if (reports[emitted] && on_report) on_report(*reports[emitted]);
            reports[emitted].reset();
            ++emitted;
        }
    };
    const auto work = [&](size_t i) {
        if (stop_request::requested()) {
            std::lock_guard guard(lock);
            ++summary.not_started;
            skipped[i] = 1;
            emit_ready();
            return;
        }
        if (on_progress) {
            std::lock_guard guard(lock);
            on_progress(done, sources.size(), sources[i], true);
        }
        dictionary_report report = process_source(sources[i], options);
        std::lock_guard guard(lock);
        summary.textures += report.textures.size();
        summary.failed += report.failures();
        summary.kept += report.kept_outputs();
        reports[i] = std::move(report);
        ++done;
        if (on_progress) on_progress(done, sources.size(), sources[i], false);
        emit_ready();
    };
    // The jobs asked for are the process's budget while the run lasts: the pictures a job
    // splits between threads (DXT blocks, mip levels) get threads only when a job has left one.
    work_pool& pool = work_pool::shared();
    const work_pool::budget_scope budget(pool, options.jobs);
    pool.for_each(sources.size(), work, job_count(options.jobs, sources.size()));
    return summary;
}

} // namespace quillmap
