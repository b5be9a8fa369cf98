#pragma once

#include <cstdint>

namespace quillmap {

// The quick per-block fits of the DXT encoder: a four-colour colour block and a DXT5 alpha block,
// without libsquish. dxt_compress runs libsquish's cluster fit only where the quick colour fit
// stays clearly above what any palette could reach.

// One 4×4 block as the colour fit sees it: red, green and blue 0..255, and the weight of each
// pixel's error (0 for pixels that do not count: outside the picture, or transparent in DXT1).
struct dxt_block_pixels {
    float r[16], g[16], b[16], w[16];
};

struct dxt_colour_fit {
    float error; // weighted squared error of the written block over red, green and blue
    float bound; // no DXT palette can come below this: all its colours lie on one line
};

// A colour block of 8 bytes in the four-colour form (first colour the larger, so DXT1 reads it
// opaque): a block of one colour exactly through tables (`three_colour` also tries DXT1's
// half-way colour, which only DXT1 has), any other along its principal axis, refined by least
// squares on the chosen palette indices.
dxt_colour_fit fit_colour_block(const dxt_block_pixels& px, bool three_colour, uint8_t out[8]);

// A colour block of 8 bytes that gives back every pixel whose bit is set in `mask` exactly (RGBA
// pixels, alpha ignored), as a picture decoded from DXT blocks has them: at most four colours,
// two of them end points the 5-6-5 fields hold and the others their blends. `three_colour` also
// tries DXT1's form with the half-way colour; the pixels whose bit is set in `transparent` then
// take its fourth entry, transparent black. False when no block does.
bool exact_colour_block(const uint8_t* rgba, int mask, bool three_colour, uint8_t out[8],
                        int transparent = 0);

// The weighted squared error of a four-colour block (as DXT3/5 read it) against the pixels.
float colour_block_error(const dxt_block_pixels& px, const uint8_t block[8]);

// A DXT5 alpha block of 8 bytes for 16 alpha values, counting those whose bit is set in `mask`:
// the eight-value form between the extremes, refined by least squares, or the six-value form
// that keeps 0 and 255 exact, whichever comes closer.
void fit_alpha_block(const uint8_t alpha[16], int mask, uint8_t out[8]);

} // namespace quillmap
