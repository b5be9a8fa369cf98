#pragma once

#include "imageio/picture.h"

#include "imageio/palette_search.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace quillmap {

// Pictures mapped onto a palette that already exists: mip levels onto level 0's palette, old
// levels onto a replaced palette.

// Each pixel keeps its alpha class: a fully transparent pixel takes a fully transparent entry and
// a fully opaque pixel an opaque one whenever the palette has such an entry; among the entries of
// its class the nearest colour wins (alpha weighted, for partly transparent pixels). With
// `dither` the colour error of visible pixels (never their alpha) is spread Floyd-Steinberg to
// the neighbours of the same class. `palette` holds RGBA entries in logical order (at most 256);
// `out.palette` is a copy of it. An empty palette gives an empty result.
// Quantizing maps level 0 by colour as it is seen instead (colour weighted by alpha, and alpha:
// what a viewer compares), without alpha classes; dithering stays as above.
enum class mapping_rule { keep_alpha_class, as_seen };

// The nearest entry is found through palette_search's cells.
indexed_image map_to_palette(const rgba_image& image, std::span<const uint8_t> palette, bool dither,
                             mapping_rule rule = mapping_rule::keep_alpha_class);
// The same trying every candidate entry for each pixel: the reference map_to_palette is held to.
indexed_image map_to_palette_plain(const rgba_image& image, std::span<const uint8_t> palette,
                                   bool dither, mapping_rule rule = mapping_rule::keep_alpha_class);

// map_to_palette for several pictures onto one palette (the levels of a mip chain): the searches'
// cells, made once, serve them all.
class palette_mapper {
  public:
    palette_mapper(std::span<const uint8_t> palette, mapping_rule rule);
    indexed_image map(const rgba_image& image, bool dither);

  private:
    std::vector<uint8_t> palette_;
    mapping_rule rule_;
    std::array<std::optional<palette_search>, 3> searches_; // per alpha class
};

// Fully transparent palette entries take the mean colour of the pixels of `image` mapped to
// them, so a quantizer's arbitrary colour there (which bilinear filtering blends into the edges
// of a cut-out) becomes the picture's own. Entries no pixel uses stay as they are.
void keep_transparent_colours(const rgba_image& image, indexed_image& mapped);

} // namespace quillmap
