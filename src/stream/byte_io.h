#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// Little-endian access to file bytes. Reads outside the span give 0 instead of touching memory
// beyond it; callers that must tell a short buffer apart check the size first.
inline uint32_t read_u32(std::span<const uint8_t> bytes, size_t offset) {
    if (offset > bytes.size() || bytes.size() - offset < 4) return 0;
    return uint32_t(bytes[offset]) | uint32_t(bytes[offset + 1]) << 8 |
           uint32_t(bytes[offset + 2]) << 16 | uint32_t(bytes[offset + 3]) << 24;
}
inline uint16_t read_u16(std::span<const uint8_t> bytes, size_t offset) {
    if (offset > bytes.size() || bytes.size() - offset < 2) return 0;
    return uint16_t(bytes[offset] | bytes[offset + 1] << 8);
}
inline uint8_t read_u8(std::span<const uint8_t> bytes, size_t offset) {
    return offset < bytes.size() ? bytes[offset] : 0;
}
inline void write_u32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}
inline void write_u16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
// True when [offset, offset + bytes) lies inside a buffer of `size` bytes, without overflow.
inline bool fits(uint64_t offset, uint64_t bytes, uint64_t size) {
    return offset <= size && bytes <= size - offset;
}
