#pragma once

#include "dictionary/gc_raster_header.h"
#include "stream/rw_stream.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quillmap {

// Everything a GameCube texture native is written from. The free words (filter kind and
// addressing, words 8-20, the name fields as stored) come from the texture being rebuilt or are
// the values real files hold; every determined word is computed (gc_raster_rules).
struct gc_texture_source {
    std::array<uint8_t, gc_header::name_bytes> name{};
    std::array<uint8_t, gc_header::name_bytes> mask{};
    uint32_t filter = gc_header::filter_default;
    std::array<uint32_t, 4> words = gc_header::unknown_words;
    gc_header::kind kind = gc_header::kind::rgba8888;
    uint32_t width = 0, height = 0;
    // Palette kinds: the entries as stored (u16 each, in the kind's palette format); fewer than
    // the kind stores are padded with zero entries.
    std::vector<uint16_t> palette;
    // Level 0, 1, ... each exactly gx_level_bytes of its size, in whole tiles.
    std::vector<std::vector<uint8_t>> levels;
    // Whether some texel inside the picture, in some level, has alpha below 255.
    bool any_translucent = false;
};

// Puts `text` into a 32-byte name field (NUL-terminated, zero-filled); false when it is longer
// than 31 characters.
bool set_gc_name(std::array<uint8_t, gc_header::name_bytes>& field, const std::string& text);

// The Struct data; none with `error` when the size, the level count (1 up to the full chain) or
// a level's size does not fit.
std::optional<std::vector<uint8_t>> gc_struct_data(const gc_texture_source& source,
                                                   std::string& error);
// A new texture native: the Struct and an empty Extension, every chunk stamped `version`.
std::unique_ptr<rw_chunk> build_gc_texture(const gc_texture_source& source, uint32_t version,
                                           std::string& error);

} // namespace quillmap
