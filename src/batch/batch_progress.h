#pragma once

#include "batch/batch_sources.h"

#include <chrono>
#include <cstddef>
#include <ostream>
#include <string>

namespace quillmap {

// The progress of a batch run on stderr. On a terminal: one line rewritten in place with
// done/total, the current dictionary and an estimate of the time left. Elsewhere (a log, a
// pipe): one plain line per finished dictionary. Quiet: nothing.
class batch_progress {
  public:
    enum class style { terminal, lines, quiet };
    batch_progress(std::ostream& out, style how);

    // The progress_sink of run_batch.
    void update(size_t done, size_t total, const dictionary_source& current, bool started);
    // Clears the terminal line so that a report line can be written; the next update redraws.
    void finish();

    // "1:05 left"-style estimate from the time so far; empty before the first dictionary is done.
    static std::string estimate(std::chrono::steady_clock::duration elapsed, size_t done,
                                size_t total);

  private:
    std::ostream& out_;
    style style_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point last_draw_{};
    bool drawn_ = false;
};

} // namespace quillmap
