#pragma once

#include "archive/game_archive.h"
#include "views/archive_entry_dialog.h"

#include <QTimer>

#include <atomic>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace quillmap {

// Entries described before the entry dialog shows; a game's archive of 16,000 entries gets the
// rest from a thread of its own, so that its list appears at once.
constexpr size_t k_described_before_showing = 256;

// The dialog's rows for the archive: the first entries with their kinds, the others with "…".
std::vector<archive_entry_row> entry_rows(const game_archive& archive);

// Describes the entries past the first ones on a thread; the window's thread takes what is ready
// at a steady pace and hands it to the dialog as one batch of at most `k_batch_entries`, so that
// no stretch of the window's thread grows with the archive and a key press is answered between
// two batches. Stopped and joined when dropped; what it had not handed over then is dropped
// with it, so a refreshed list never receives a kind of the table before.
class entry_kind_filler {
  public:
    static constexpr size_t k_batch_entries = 1024;
    static constexpr int k_interval_ms = 40;

    entry_kind_filler(game_archive archive, CArchiveEntryDialog& dialog);
    ~entry_kind_filler();
    entry_kind_filler(const entry_kind_filler&) = delete;
    entry_kind_filler& operator=(const entry_kind_filler&) = delete;

    // Every kind has been handed to the dialog.
    bool finished() const { return !timer_.isActive(); }
    // Batches handed over so far.
    size_t batches() const { return batches_; }

  private:
    void hand_over(); // on the window's thread

    game_archive archive_;
    CArchiveEntryDialog& dialog_;
    QTimer timer_;
    std::mutex mutex_;
    std::vector<archive_entry_kind> described_; // guarded by mutex_
    bool describing_ = true;                    // guarded by mutex_
    std::deque<archive_entry_kind> ready_;      // the window's thread only
    size_t batches_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace quillmap
