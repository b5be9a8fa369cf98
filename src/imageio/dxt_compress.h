#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace quillmap {

// DXT (BC1/BC2/BC3) compression of whole pictures: each block through the quick fit of
// dxt_block_fit, libsquish's cluster fit where that fit stays far from the best a palette could
// reach (and for DXT1 blocks with transparent pixels); block rows spread over the process's
// threads (work_pool.h).

enum class dxt_kind { dxt1, dxt3, dxt5 };

// Bytes one 4×4 block takes: 8 for DXT1, 16 for DXT3 and DXT5.
uint32_t dxt_block_bytes(dxt_kind kind);

// rgba: width*height*4 bytes, rows top-down, R,G,B,A; blocks returned in stored order.
// Sizes that are not a multiple of 4 give partial edge blocks whose missing pixels do not
// count. DXT1 is opaque unless `one_bit_alpha`, when pixels with alpha below 128 become the
// transparent colour. Colours are weighted by alpha where the format keeps alpha. An empty
// result when `rgba` is shorter than width*height*4.
std::vector<uint8_t> compress_dxt(std::span<const uint8_t> rgba, uint32_t width, uint32_t height,
                                  dxt_kind kind, bool one_bit_alpha = false);

// The same on at most `threads` threads (0: as many as the thread budget allows); the result
// does not depend on it.
std::vector<uint8_t> compress_dxt_on(std::span<const uint8_t> rgba, uint32_t width, uint32_t height,
                                     dxt_kind kind, bool one_bit_alpha, unsigned threads);

} // namespace quillmap
