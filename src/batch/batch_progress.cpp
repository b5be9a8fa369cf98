#include "batch/batch_progress.h"

#include <cstdio>

namespace quillmap {

namespace {
// A terminal line is redrawn at most this often: thousands of small dictionaries would
// otherwise spend their time writing to the terminal.
constexpr auto k_redraw_interval = std::chrono::milliseconds(100);
constexpr size_t k_line_width = 100;
} // namespace

batch_progress::batch_progress(std::ostream& out, style how) : out_(out), style_(how) {}

std::string batch_progress::estimate(std::chrono::steady_clock::duration elapsed, size_t done,
                                     size_t total) {
    if (done == 0 || done > total) return {};
    const double seconds =
        std::chrono::duration<double>(elapsed).count() / double(done) * double(total - done);
    const auto whole = static_cast<unsigned long long>(seconds + 0.5);
    char text[48];
    std::snprintf(text, sizeof text, "%llu:%02llu left", whole / 60, whole % 60);
    return text;
}

void batch_progress::update(size_t done, size_t total, const dictionary_source& current,
                            bool started) {
    const auto now = std::chrono::steady_clock::now();
    const std::string count = "[" + std::to_string(done) + "/" + std::to_string(total) + "] ";
    if (style_ == style::lines) {
        if (!started) out_ << count << current.shown << "\n" << std::flush;
        return;
    }
    if (style_ != style::terminal) return;
    if (done != total && drawn_ && now - last_draw_ < k_redraw_interval) return;
    last_draw_ = now;
    drawn_ = true;
    const std::string left = estimate(now - start_, done, total);
    std::string line = count + (left.empty() ? "" : left + " ") + current.shown;
    // Keep the end of the path, which says most, when the line is too long.
    if (line.size() > k_line_width) line = "..." + line.substr(line.size() - k_line_width + 3);
    out_ << "\r" << line << "\x1b[K" << std::flush;
}

void batch_progress::finish() {
    if (style_ == style::terminal && drawn_) out_ << "\r\x1b[K" << std::flush;
    drawn_ = false;
}

} // namespace quillmap
