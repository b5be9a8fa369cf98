#pragma once

#include "stream/chunk_bytes.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace quillmap {

// One node of the in-memory chunk tree. A chunk owns its children and its data buffer.
struct rw_chunk {
    uint32_t id = 0;
    uint32_t size = 0;    // byte length after the header; kept exact by every edit, never recounted
    uint32_t version = 0; // opaque RenderWare version stamp
    // Owning child slots; the capacity grows in blocks of 64 (see rw_stream::append_child).
    std::vector<std::unique_ptr<rw_chunk>> children;
    // Leaf data once loaded. The buffer may be longer than `size` (renamed strings are padded).
    // Shared with the undo history's snapshots; change it through `data.edit()`.
    chunk_bytes data;
    uint32_t data_offset = 0; // file offset after the header; 0 when the chunk lives only in memory

    uint32_t child_count() const { return static_cast<uint32_t>(children.size()); }
    rw_chunk* child(uint32_t index) const {
        return index < children.size() ? children[index].get() : nullptr;
    }
    bool has_data() const { return data.has_value(); }
};

constexpr uint32_t k_chunk_header_bytes = 12;
// Bytes counted per node and per child slot in rw_stream::allocated_bytes.
constexpr uint32_t k_chunk_node_bytes = 28;
constexpr uint32_t k_child_slot_bytes = 4;
constexpr uint32_t k_child_slot_block = 64;

} // namespace quillmap
