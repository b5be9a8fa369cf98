#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace quillmap {

// The bytes of a leaf chunk, shared between the live tree and the undo history's snapshots of
// it. Reading never copies; `edit` copies first when anyone else still holds the same bytes, so a
// change to the live tree never reaches a snapshot (copy on write).
// How many hold the bytes is counted by shared_ptr; a tree and its snapshots live on one thread.
class chunk_bytes {
  public:
    using buffer = std::vector<uint8_t>;

    chunk_bytes() = default;
    chunk_bytes(buffer bytes) : bytes_(std::make_shared<buffer>(std::move(bytes))) {}
    // Takes bytes a snapshot holds; they stay shared until the first edit.
    static chunk_bytes sharing(std::shared_ptr<const buffer> bytes) {
        chunk_bytes shared;
        // Every buffer is created non-const (above or in `edit`), so writing through it later,
        // once no one else holds it, is sound.
        shared.bytes_ = std::const_pointer_cast<buffer>(std::move(bytes));
        return shared;
    }

    chunk_bytes& operator=(buffer bytes) {
        bytes_ = std::make_shared<buffer>(std::move(bytes));
        return *this;
    }

    bool has_value() const { return bytes_ != nullptr; }
    explicit operator bool() const { return has_value(); }
    void reset() { bytes_.reset(); }

    const buffer& operator*() const { return *bytes_; }
    const buffer* operator->() const { return bytes_.get(); }
    const buffer* get() const { return bytes_.get(); }

    // The bytes to change in place, owned by this chunk alone; none when there are no bytes.
    buffer* edit() {
        if (bytes_ && bytes_.use_count() > 1) bytes_ = std::make_shared<buffer>(*bytes_);
        return bytes_.get();
    }

    // The bytes without unsharing them, for reading. Writing through this pointer is reserved to
    // code that holds no snapshot (see rw_stream::edit_scope).
    buffer* in_place() const { return bytes_.get(); }

    // The bytes as a snapshot keeps them.
    std::shared_ptr<const buffer> shared() const { return bytes_; }

  private:
    std::shared_ptr<buffer> bytes_;
};

} // namespace quillmap
