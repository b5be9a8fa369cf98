#pragma once

#include "dictionary/ps2_raster_layout.h"
#include "dictionary/ps2_txd.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillmap {

// Lint and repair of PS2 textures: the words a texture stores are compared with, or replaced by,
// the words its width, height, depth, level count and kind determine (ps2_raster_layout).

inline constexpr uint32_t k_max_texture_name_chars = 31;
inline constexpr uint32_t k_max_game_side_px = 1024;

// What a headered PS2 texture stores: its raster header words and the transfer headers found by
// walking its raster data.
struct ps2_stored_words {
    std::array<uint32_t, 16> words{};
    bool headered = false;
    std::vector<ps2_transfer> levels;
    std::optional<ps2_transfer> palette;
    uint64_t raster_data_bytes = 0;
};

bool read_stored_words(ps2_txd& txd, uint32_t t, ps2_stored_words& out);

// The layout the stored facts determine: size, depth, level count, the kind (2 whenever the data
// carries transfer headers) and the chunk's version.
bool expected_layout(ps2_txd& txd, uint32_t t, const ps2_stored_words& stored,
                     ps2_raster_layout& out, std::string& error);

// Level n of a headered texture in plain row order ((w >> n) x (h >> n) pixels): its transfer
// rectangle unswizzled when the texture is swizzled, and the padding cut away. False when the
// level's block does not hold its rectangle.
bool ps2_plain_level(ps2_txd& txd, uint32_t t, uint32_t level, std::vector<uint8_t>& out);

// The reverse: writes plain pixels of level n into its transfer rectangle (swizzled when the
// texture is), keeping the padding as stored. False when the level's block does not hold it.
bool ps2_write_plain_level(ps2_txd& txd, uint32_t t, uint32_t level,
                           std::span<const uint8_t> plain);

// Copies a w x h pixel rectangle between buffers `from_w` and `to_w` pixels wide (row-major,
// 4-bit pixels as nibbles, left pixel low).
void ps2_copy_rect(const uint8_t* from, uint64_t from_w, uint8_t* to, uint64_t to_w, uint32_t w,
                   uint32_t h, uint32_t depth);

struct ps2_problem {
    uint32_t texture = 0;
    std::string name;
    std::string what;
    std::string found;
    std::string expected;
    bool whole_dictionary = false; // a problem of the dictionary, not of texture `texture`
    // A deviation that real game files show and games accept: reported, not counted as damage.
    bool accepted = false;
};

// What a word the rules cannot check is reported as: levels beyond RenderWare's own count have
// no placement rule, so their words are named rather than passed.
inline constexpr const char* k_not_checked = "not checked";
inline constexpr const char* k_too_many_textures_what = "more than 255 textures";
inline constexpr const char* k_count_disagrees_what = "texture count";

// The dictionary's own problems (more textures than the game's tools store, a count that
// disagrees with the stored textures), then every problem of every PS2 texture, in texture
// order.
std::vector<ps2_problem> lint_ps2_textures(ps2_txd& txd);

// Rewrites the derived words of every PS2 texture in memory. Textures whose data does not follow
// the computed layout (other level sizes, another palette block) are left as they are and named
// in `skipped`. Returns the number of words changed.
uint32_t repair_ps2_textures(ps2_txd& txd, std::vector<std::string>* skipped = nullptr);

} // namespace quillmap
