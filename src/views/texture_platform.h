#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace quillmap {

class ps2_txd;

// Which layout a texture's rows and editing follow. Platform word 9 means Direct3D 9 in a PC
// dictionary and DXT in a mobile one, so the dictionary's class decides it.
enum class texture_family { ps2, pc_xbox, mobile, gamecube, other };

bool is_mobile_dictionary(ps2_txd& dictionary);
texture_family family_of(ps2_txd& dictionary, uint32_t t);

// Whether texture t has an alpha channel: a PS2 texture when an alpha of its palette or 32-bit
// pixels is below opaque, a mobile one by its alpha byte, others by the pixel format of their
// raster format word (1555, 4444, 8888).
bool texture_has_alpha(ps2_txd& dictionary, uint32_t t);

// The Struct data of texture t (child 0), loaded; none when missing.
const std::vector<uint8_t>* texture_struct_bytes(ps2_txd& dictionary, uint32_t t);

} // namespace quillmap
