#pragma once

// A power-loss model for crash tests. While recording, it keeps the journal of every change made
// through stream/safe_file.h (writes, cuts, flushes, creations, renames, links, removals) to the
// files of one folder. Afterwards it rebuilds what that folder's files could hold had the power
// gone after any number of those changes, on a disk that keeps only this much:
//   - the bytes of a file written before its last flush, and a name (creation, rename, link,
//     removal) made before its folder's last flush;
//   - of the writes since a file's last flush, any subset, each write torn into aligned 512-byte
//     sectors of which any subset survives (a sector is written whole or not at all);
//   - of the name changes since the folder's last flush, those up to some point in their order
//     (the file system journals names in order).

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace quillmap {

class power_loss_model {
  public:
    // Which of the unflushed changes survive a cut: sector pieces by their number (from 0, in
    // the order written), and how many of the unflushed name changes.
    struct survivors {
        std::vector<bool> pieces;
        size_t names = 0;
    };
    // The unflushed changes at a cut.
    struct pending {
        size_t pieces = 0;
        size_t names = 0;
    };

    // Starts recording changes under `folder`, whose files as they are now count as flushed.
    // One model records at a time.
    void start(const std::filesystem::path& folder);
    void stop();
    ~power_loss_model();

    // Changes recorded: cuts go from 0 (before the first) to changes() (after the last).
    size_t changes() const { return records_.size(); }
    pending pending_at(size_t cut) const;
    // The folder's files (file name -> bytes) after `cut` changes, keeping `kept`.
    std::map<std::string, std::vector<uint8_t>> state_at(size_t cut, const survivors& kept) const;
    // Deterministic samples of survivors at a cut: none, all, every subset when there are few,
    // and `random_samples` seeded subsets otherwise, for each number of surviving names.
    std::vector<survivors> samples_at(size_t cut, size_t random_samples, uint64_t seed) const;

    // Used by the journal hook.
    struct record {
        int what = 0;
        uint64_t file = 0;
        std::string path, to;
        uint64_t offset = 0;
        std::vector<uint8_t> bytes;
    };
    void add(record r) { records_.push_back(std::move(r)); }
    const std::filesystem::path& folder() const { return folder_; }

  private:
    std::filesystem::path folder_;
    std::map<std::string, uint64_t> start_names_;          // file name -> inode
    std::map<uint64_t, std::vector<uint8_t>> start_files_; // inode -> bytes
    std::vector<record> records_;
    bool recording_ = false;
};

} // namespace quillmap
