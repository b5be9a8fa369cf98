#include "app/archive_entry_kinds.h"

#include "app/app_messages.h"
#include "batch/archive_entry_kind.h"

#include <algorithm>
#include <iterator>

namespace quillmap {

namespace {
// The list's kind column: "PS2 TXD" for a dictionary, the container's name for TEX files.
QString kind_text(const entry_description& what) {
    if (what.is_dictionary())
        return what.kind == "TEX" ? "TEX" : QString::fromStdString(what.kind) + " TXD";
    if (what.kind == "other") return app_msg::entry_kind_none;
    return QString::fromStdString(what.kind); // damaged, empty, shared, outside
}

archive_entry_kind described(const game_archive& archive, size_t i) {
    const entry_description what = describe_archive_entry(archive, archive.entries[i]);
    return {int(i), kind_text(what), what.is_dictionary() ? int(what.textures) : -1};
}
} // namespace

std::vector<archive_entry_row> entry_rows(const game_archive& archive) {
    std::vector<archive_entry_row> rows;
    rows.reserve(archive.entries.size());
    for (size_t i = 0; i < archive.entries.size(); ++i) {
        const archive_entry& entry = archive.entries[i];
        if (i >= k_described_before_showing) {
            rows.push_back({QString::fromStdString(entry.name), entry.size, "\u2026", -1});
            continue;
        }
        const archive_entry_kind what = described(archive, i);
        rows.push_back({QString::fromStdString(entry.name), entry.size, what.kind, what.textures});
    }
    return rows;
}

entry_kind_filler::entry_kind_filler(game_archive archive, CArchiveEntryDialog& dialog)
    : archive_(std::move(archive)), dialog_(dialog) {
    if (archive_.entries.size() <= k_described_before_showing) return;
    timer_.setInterval(k_interval_ms);
    QObject::connect(&timer_, &QTimer::timeout, [this] { hand_over(); });
    timer_.start();
    thread_ = std::thread([this] {
        for (size_t i = k_described_before_showing; i < archive_.entries.size() && !stop_; ++i) {
            archive_entry_kind what = described(archive_, i);
            const std::lock_guard lock(mutex_);
            described_.push_back(std::move(what));
        }
        const std::lock_guard lock(mutex_);
        describing_ = false;
    });
}

entry_kind_filler::~entry_kind_filler() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

void entry_kind_filler::hand_over() {
    bool describing = false;
    {
        const std::lock_guard lock(mutex_);
        for (archive_entry_kind& what : described_)
            ready_.push_back(std::move(what));
        described_.clear();
        describing = describing_;
    }
    if (!ready_.empty()) {
        const size_t count = std::min(ready_.size(), k_batch_entries);
        std::vector<archive_entry_kind> batch(std::make_move_iterator(ready_.begin()),
                                              std::make_move_iterator(ready_.begin() + count));
        ready_.erase(ready_.begin(), ready_.begin() + count);
        ++batches_;
        dialog_.set_entry_kinds(batch);
    }
    if (!describing && ready_.empty()) timer_.stop();
}

} // namespace quillmap
