#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quillmap {

// The one set of little-endian helpers of the program: a bounded reader and a bounded writer
// with a cursor, plus the range check and the plain loads they are made of.
//
// A read that would pass the end fails: it returns 0 (or an empty span), leaves the cursor where
// it was and keeps a message naming what was being read and at which offset. The first failure
// sticks, so a run of reads can be checked once at its end. A reader never returns a silent 0.

// True when [offset, offset + bytes) lies inside a buffer of `size` bytes, without overflow.
inline bool fits(uint64_t offset, uint64_t bytes, uint64_t size) {
    return offset <= size && bytes <= size - offset;
}

// Plain loads and stores for loops whose range has been checked as a whole (pixel rows, blocks).
inline uint16_t load_u16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}
inline uint32_t load_u32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint64_t load_u64(const uint8_t* p) {
    return uint64_t(load_u32(p)) | uint64_t(load_u32(p + 4)) << 32;
}
inline void store_u16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void store_u32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}
inline void store_u64(uint8_t* p, uint64_t v) {
    store_u32(p, uint32_t(v));
    store_u32(p + 4, uint32_t(v >> 32));
}

// One field at a fixed offset of a record that may be short: none when it is not all there, so
// the caller says what a missing field means.
inline std::optional<uint8_t> u8_at(std::span<const uint8_t> bytes, uint64_t offset) {
    if (!fits(offset, 1, bytes.size())) return std::nullopt;
    return bytes[size_t(offset)];
}
inline std::optional<uint16_t> u16_at(std::span<const uint8_t> bytes, uint64_t offset) {
    if (!fits(offset, 2, bytes.size())) return std::nullopt;
    return load_u16(bytes.data() + offset);
}
inline std::optional<uint32_t> u32_at(std::span<const uint8_t> bytes, uint64_t offset) {
    if (!fits(offset, 4, bytes.size())) return std::nullopt;
    return load_u32(bytes.data() + offset);
}

class byte_reader {
  public:
    // `base` is the offset of the first byte in the file, so that messages name file offsets.
    explicit byte_reader(std::span<const uint8_t> bytes, uint64_t base = 0)
        : bytes_(bytes), base_(base) {}

    uint8_t u8(const char* what) { return take(1, what) ? bytes_[size_t(position_ - 1)] : 0; }
    uint16_t u16(const char* what) {
        return take(2, what) ? load_u16(bytes_.data() + position_ - 2) : 0;
    }
    uint32_t u32(const char* what) {
        return take(4, what) ? load_u32(bytes_.data() + position_ - 4) : 0;
    }
    uint64_t u64(const char* what) {
        return take(8, what) ? load_u64(bytes_.data() + position_ - 8) : 0;
    }
    // The next `count` bytes, viewed where they lie; empty on failure.
    std::span<const uint8_t> bytes(uint64_t count, const char* what) {
        if (!take(count, what)) return {};
        return bytes_.subspan(size_t(position_ - count), size_t(count));
    }
    bool skip(uint64_t count, const char* what) { return take(count, what); }
    // Moves the cursor to `offset` (relative to the span); the end itself is a valid place.
    bool seek(uint64_t offset, const char* what);

    uint64_t position() const { return position_; }
    uint64_t remaining() const { return bytes_.size() - position_; }
    uint64_t size() const { return bytes_.size(); }
    bool ok() const { return !failed_; }
    // Why the first failed read failed; empty while every read succeeded.
    const std::string& error() const { return error_; }

  private:
    // Moves the cursor over `count` bytes when they are all there; otherwise records the failure.
    bool take(uint64_t count, const char* what) {
        if (failed_ || count > remaining()) return fail(what, position_, count);
        position_ += count;
        return true;
    }
    bool fail(const char* what, uint64_t offset, uint64_t count);

    std::span<const uint8_t> bytes_;
    uint64_t base_ = 0;
    uint64_t position_ = 0;
    bool failed_ = false;
    std::string error_;
};

// Writes little-endian fields at a cursor, either growing a vector or into a fixed span. A write
// that does not fit a fixed span fails like a read past the end, and writes nothing.
class byte_writer {
  public:
    explicit byte_writer(std::vector<uint8_t>& grow) : grow_(&grow), position_(grow.size()) {}
    explicit byte_writer(std::span<uint8_t> fixed) : fixed_(fixed) {}

    bool u8(uint8_t v) { return put(&v, 1); }
    bool u16(uint16_t v) {
        uint8_t b[2];
        store_u16(b, v);
        return put(b, 2);
    }
    bool u32(uint32_t v) {
        uint8_t b[4];
        store_u32(b, v);
        return put(b, 4);
    }
    bool u64(uint64_t v) {
        uint8_t b[8];
        store_u64(b, v);
        return put(b, 8);
    }
    bool bytes(std::span<const uint8_t> data) { return put(data.data(), data.size()); }
    // Moves the cursor; a growing writer may move past its end (the gap fills with zeros on the
    // next write), a fixed one only up to its end.
    bool seek(uint64_t offset);

    uint64_t position() const { return position_; }
    bool ok() const { return !failed_; }
    const std::string& error() const { return error_; }

  private:
    bool put(const uint8_t* data, uint64_t count);

    std::vector<uint8_t>* grow_ = nullptr;
    std::span<uint8_t> fixed_;
    uint64_t position_ = 0;
    bool failed_ = false;
    std::string error_;
};

} // namespace quillmap
