#pragma once

#include "batch/batch_formats.h"
#include "batch/batch_lint.h"
#include "batch/batch_sources.h"
#include "dictionary/txd_probe.h"
#include "imageio/png_writer.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace quillmap {

enum class batch_action { list, export_textures, convert, lint };

// One dictionary converted and saved at `out` (through the thread's output policy): textures
// left out are named in `skipped`, what changed on the way in `notes`; false with `error`.
using dictionary_converter = std::function<bool(
    ps2_txd& source, const std::filesystem::path& out, std::vector<std::string>& skipped,
    std::vector<std::string>& notes, std::string& error)>;

struct batch_options {
    batch_action action = batch_action::list;
    std::filesystem::path out;             // export and convert
    const export_format* format = nullptr; // export; none = the default format
    unsigned jobs = 0;                     // 0 = the process's thread budget
    bool overwrite = false;                // replace files that exist
    bool skip_existing = false;            // outputs already there (complete files) count as done
    bool durable = false;                  // flush every output (see ARCHITECTURE.md)
    std::string platforms = "PS2,PC,iOS,XBOX,TEX"; // classes tried, in table order
    png_write_options png;                         // export: how PNG files are packed
    // convert: the target platform and its options; none converts to PS2, sizes fitted.
    dictionary_converter convert;
};

struct texture_report {
    std::string name;
    uint32_t width = 0, height = 0, depth = 0;
    std::string output; // the file written, relative to the output folder
    std::string error;  // why it failed; empty on success
    bool kept = false;  // --skip-existing: the output was there already and was left as it is
};

// What became of one dictionary. `error` is set when the dictionary could not be opened or
// written as a whole; texture failures and lint findings sit with their textures.
struct dictionary_report {
    const dictionary_source* source = nullptr;
    std::string platform; // empty when it did not open
    std::vector<texture_report> textures;
    std::vector<lint_finding> findings;
    std::string output; // convert: the dictionary written, relative to the output folder
    // What the user should know of the work that succeeded (convert: "NAME: scaled from WxH to
    // W'xH'" for each texture scaled to a size the game takes).
    std::vector<std::string> notes;
    std::string error;
    bool kept = false; // convert with --skip-existing: the dictionary was there already

    size_t failures() const;
    // Outputs --skip-existing left as they were (the dictionary, or each texture's file).
    size_t kept_outputs() const;
};

struct batch_summary {
    size_t dictionaries = 0;
    size_t textures = 0;    // textures of the dictionaries that opened
    size_t failed = 0;      // failed dictionaries, textures and findings, plus the source failures
    size_t not_started = 0; // dictionaries left alone because a stop was requested
    size_t kept = 0;        // outputs that were there already (--skip-existing)
    bool stopped() const { return not_started != 0; }
};

// Called once per source, in source order, whatever order the jobs finish in.
using report_sink = std::function<void(const dictionary_report&)>;
// Called when a dictionary starts (started) and when it is done; done counts finished ones.
using progress_sink =
    std::function<void(size_t done, size_t total, const dictionary_source& current, bool started)>;

// Works on every source with `jobs` threads, each dictionary opened on its own; while it runs,
// `jobs` (when set) is the process's thread budget (work_pool.h). A failure is
// reported and the run goes on. `source_failures` counts into the summary. When a stop is
// requested (stop_request.h) each job finishes its current dictionary and takes no other; the
// summary counts what was left. Outputs appear under their names only when complete, so a
// stopped run leaves no partial file and a re-run makes what is missing.
batch_summary run_batch(const std::vector<dictionary_source>& sources, size_t source_failures,
                        const batch_options& options, const report_sink& on_report,
                        const progress_sink& on_progress = {});

// Removes the temporary files a stopped or killed run left in the output folder (names that
// safe_file::is_temporary_name knows) that no live writer holds; the complete copy of an
// unfinished in-place update stays for the next open of its file. Returns how many.
size_t remove_stale_temporaries(const std::filesystem::path& out);

// Works on one source (what each job does); exposed for the window's export and the tests.
dictionary_report process_source(const dictionary_source& source, const batch_options& options);

// Opens the source's dictionary where it lies, trying the classes named in `platforms`; an
// archive entry must hold the whole dictionary. No dictionary, with `error`, when it fails.
probe_result open_dictionary_source(const dictionary_source& source, std::string_view platforms,
                                    std::string& error);

// The jobs used for `requested` (0 = the thread budget) on `sources` dictionaries.
unsigned job_count(unsigned requested, size_t sources);

} // namespace quillmap
