#pragma once

// Snapshots of a chunk tree for undo. A snapshot's nodes never change once built, so steps share
// every subtree an edit did not touch, and leaves share their bytes with the live tree until an
// edit writes to them (chunk_bytes copies on write). A rename of one texture costs the nodes on
// the path from the root to its name, not a copy of the dictionary.

#include "stream/rw_chunk.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_set>
#include <vector>

namespace quillmap {

struct frozen_chunk;
using frozen_tree = std::shared_ptr<const frozen_chunk>;

struct frozen_chunk {
    uint32_t id = 0;
    uint32_t size = 0;
    uint32_t version = 0;
    std::shared_ptr<const std::vector<uint8_t>> data; // none for containers and unloaded leaves
    std::vector<frozen_tree> children;                // an empty slot stays empty
};

// The tree as it stands. Nodes of `like` (an earlier snapshot of the same tree) that equal the
// live ones are reused, so only what changed since is built anew.
frozen_tree freeze(const rw_chunk& live, const frozen_tree& like);

// A live tree holding the snapshot's bytes (shared until written). It lives in memory only: no
// leaf is read again from a file that a save may have rewritten since.
std::unique_ptr<rw_chunk> thaw(const frozen_chunk& frozen);

// Counts the memory of snapshots once however many steps share it.
class snapshot_bytes {
  public:
    // Bytes the live tree holds anyway are not counted.
    void exclude_live(const rw_chunk& live);
    void add(const frozen_chunk* tree);
    size_t total() const { return total_; }

  private:
    std::unordered_set<const void*> seen_;
    size_t total_ = 0;
};

} // namespace quillmap
