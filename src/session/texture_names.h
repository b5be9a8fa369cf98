#pragma once

#include "dictionary/ps2_txd.h"

#include <cstdint>
#include <optional>
#include <string>

namespace quillmap {

// The rules a texture's name keeps in the game's files: at most 31 characters (the 32-byte
// fields), and no two textures of a dictionary with names equal when case is ignored (the game
// looks textures up without case, so the second would never be found).

inline constexpr uint32_t k_name_limit = 31;

// The texture other than `except` whose name equals `name` with case ignored; none when no
// texture has it.
std::optional<uint32_t> texture_named(ps2_txd& txd, const std::string& name,
                                      std::optional<uint32_t> except);

// Why `name` cannot become the `which` name of texture t (none for a texture still to be added);
// empty when it can.
std::string name_refusal(ps2_txd& txd, std::optional<uint32_t> t, const std::string& name,
                         name_kind which);

} // namespace quillmap
