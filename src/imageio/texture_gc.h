#pragma once

#include "dictionary/gc_texture_build.h"
#include "dictionary/gc_txd.h"
#include "imageio/picture.h"
#include "imageio/texture_pc.h"
#include "raster/dds_file.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillmap {

// Replace, add and mip levels on GameCube dictionaries: pictures are encoded in one of the five
// GX layouts real files hold (the seven kinds of gc_raster_header.h) and the Struct is built anew
// by gc_texture_build, free words kept from the texture being rebuilt.

enum class gc_format { c4, c8, rgb5a3, rgba8, cmpr };
inline constexpr gc_format k_gc_formats[] = {gc_format::c4, gc_format::c8, gc_format::rgb5a3,
                                             gc_format::rgba8, gc_format::cmpr};
// The names of the command line's --format: c4, c8, rgb5a3, rgba8, cmpr.
const char* gc_format_name(gc_format format);
std::optional<gc_format> gc_format_named(const std::string& name);
gc_format gc_format_of(gc_header::kind kind);
// The kind a format is stored as: palettes take RGB5A3 entries when `translucent`, else RGB565.
gc_header::kind gc_kind_for(gc_format format, bool translucent);
// The format a picture gets when none is asked: RGBA8 with alpha, CMPR when opaque.
gc_format default_gc_format(bool translucent);

struct gc_edit_options {
    std::optional<gc_format> format; // none: the texture's own (replace) or by alpha (add)
    mips_request mips;
    bool dither = false;
    bool resize = false; // as pc_edit_options::resize
};

// Level 0 and the levels below it (`chain`, each half the size) encoded in `kind` into
// `source` (levels, palette, any_translucent). A palette level whose colours are all in
// `keep_palette` (the texture's own, as stored) keeps that palette and, where `keep_level0`'s
// texels already show the picture, their values; likewise RGB5A3 texels and CMPR blocks that
// show the picture as it is stay as they were. `note` tells when colours were reduced.
struct gc_kept {
    std::vector<uint16_t> palette; // stored entries, empty for none
    std::vector<uint8_t> level0;   // stored level 0 of the same size and kind
    bool same_kind = false;
};
bool encode_gc_levels(const std::vector<rgba_image>& chain, gc_header::kind kind, bool dither,
                      const gc_kept* kept, gc_texture_source& source, std::string& error,
                      std::string& note);

// Levels 0 .. levels-1 of a C4 or C8 texture as palette pictures (indices and the widened
// palette, 16 or 256 entries); false for other textures or levels not all stored.
bool gc_palette_pictures(gc_txd& txd, uint32_t t, uint32_t levels, std::vector<indexed_image>& out);

// Adds levels below the last one `source` holds until it holds `levels`: each half the size of
// the one above (as decoded), encoded in the source's kind on its palette. Real files store one
// level or the full chain; a partial chain from another platform is completed this way.
bool extend_gc_chain(gc_texture_source& source, uint32_t levels, bool dither, std::string& error);

// The fields, names and free words of stored texture t, without levels.
bool gc_source_of(gc_txd& txd, uint32_t t, gc_texture_source& source, std::string& error);

bool replace_gc_texture(gc_txd& txd, uint32_t t, const rgba_image& image,
                        const gc_edit_options& options, std::string& error, std::string& note);
// A DDS of DXT1 blocks going into a CMPR texture of its size keeps its blocks (the same colours
// and indices); any other DDS is decoded and replaced as a picture.
bool replace_gc_texture_dds(gc_txd& txd, uint32_t t, const dds_image& dds,
                            const gc_edit_options& options, std::string& error, std::string& note);
bool add_gc_texture(gc_txd& txd, const rgba_image& image, const std::string& name,
                    const gc_edit_options& options, std::string& error, std::string& note);
// Level 0 stays byte for byte; the levels below it are built from its picture.
bool set_gc_mips(gc_txd& txd, uint32_t t, mips_request mips, std::string& error, std::string& note);

} // namespace quillmap
