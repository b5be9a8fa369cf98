#pragma once

#include "dictionary/pc_texture_build.h"
#include "imageio/picture.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillmap {

// Pictures encoded into the stored levels of PC, XBOX textures: DXT blocks (through
// dxt_compress), 8888 and 888 pixels, and D3D8 palettes through the quantizer.

enum class pc_format { dxt1, dxt3, dxt5, argb8888, rgb888, pal8, pal4 };

// The names of the command line's --format: dxt1, dxt3, dxt5, 8888, 888, pal8, pal4.
std::optional<pc_format> pc_format_named(std::string_view name);
const char* pc_format_name(pc_format format);

// What a picture's alpha needs: none, one bit (every alpha 0 or 255), or grades.
enum class picture_alpha { opaque, one_bit, graded };
picture_alpha alpha_of(const rgba_image& image);

// The format a picture gets when none is asked for: DXT1 when opaque or with 1-bit alpha,
// DXT5 when its alpha has grades.
pc_format default_pc_format(picture_alpha alpha);

// The format texture fields hold, none for fields no format names (16-bit uncompressed).
std::optional<pc_format> pc_format_of(const pc_free_fields& fields);

// Sets pixel format, palette and DXT kind of `fields` for `format` on its layout and a picture
// with `alpha`: DXT1 565, or 1555 with 1-bit alpha; DXT3/5 4444; XBOX keeps the pixel format of
// the uncompressed picture (8888 or 888); palettes on D3D8 only, 888 entries when opaque.
// False with `error` when the layout refuses the format.
bool set_pc_format(pc_free_fields& fields, pc_format format, picture_alpha alpha,
                   std::string& error);

// Encodes `chain` (level 0 first, each half the size of the one before) into `source.levels`
// (and `source.palette` for palettes) in the format `source.fields` names. A palette picture
// whose palette fits (`given`, may be none) is taken as it is for level 0; other levels are
// remapped onto level 0's palette. `quantized` tells whether colours were reduced.
bool encode_pc_levels(const std::vector<rgba_image>& chain, const indexed_image* given, bool dither,
                      pc_texture_source& source, bool& quantized, std::string& error);

} // namespace quillmap
