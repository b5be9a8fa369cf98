#pragma once

// What an import or a replace from a picture is asked to make: the format (depth on PS2), the
// dithering, the mip levels and the size; and the preview of that result before it is made.

#include "dictionary/ps2_txd.h"
#include "imageio/picture.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quillmap {

class editor_session;

struct import_choices {
    // PS2: "4", "8" or "32" (a 16- or 24-bit texture being replaced may keep its own "16" or
    // "24"); PC and XBOX: dxt1, dxt3, dxt5, 8888, 888, pal8, pal4; mobile: dxt1, dxt3, 565,
    // 4444. Empty: the default (8 bits on PS2; by the picture's alpha elsewhere; a replace keeps
    // the texture's own).
    std::string format;
    bool dither = true;
    // Import: the level count, 0 for the full chain. Replace: none keeps the texture's levels
    // (following a new palette), a value rebuilds them from the picture (a count on PC, XBOX and
    // mobile textures; PS2 textures keep their count).
    std::optional<uint32_t> mips = 1u;
    // Import: the power-of-two size the picture is scaled to; 0 keeps its own.
    uint32_t width = 0;
    uint32_t height = 0;
    // Import into a PS2 dictionary: the new texture is stored swizzled.
    bool swizzle = true;
};

// The formats textures of `txd`'s platform take, in the order a chooser lists them.
std::vector<std::string> import_formats(ps2_txd& txd);
// The format texture t is stored in, as import_formats names it; empty when none names it.
std::string texture_format(ps2_txd& txd, uint32_t t);
// Whether a format is a palette one, which dithering applies to.
bool format_dithers(const std::string& format);

// Peak signal-to-noise ratios in dB of `result` against `source`: over red, green and blue,
// and over alpha by itself (an alpha that comes through whole would hide a colour loss in a
// figure of all four). Infinity for equal channels, 0 when the sizes differ or either is empty.
struct picture_psnr_values {
    double colour = 0;
    double alpha = 0;
};
picture_psnr_values picture_psnr(const rgba_image& source, const rgba_image& result);

// What an import or replace would make: level 0 as the texture will show (decoded from the
// bytes the session writes) and its PSNRs against the picture at the same size.
struct choices_preview {
    bool ok = false;
    std::string error; // why the import or replace would fail
    rgba_image picture;
    picture_psnr_values psnr;
    std::string note; // what the import or replace changed on the way
};

// Previews of one picture for one import or replace. Made on the window's thread from the open
// session (a copy of the texture it needs: the replaced one, or for an import the first, which
// decides the layout of new PC, XBOX and mobile textures); `render` then runs on any one thread
// at a time and never touches the session it came from.
class choices_preview_source {
  public:
    // None with `error` when nothing is open or the dictionary cannot be read.
    static std::unique_ptr<choices_preview_source> make(editor_session& session,
                                                        const std::string& picture,
                                                        std::optional<uint32_t> replaced,
                                                        bool keep_alpha, std::string& error);
    ~choices_preview_source();

    choices_preview render(const import_choices& choices);

  private:
    choices_preview_source();
    std::unique_ptr<editor_session> base_;
    std::string picture_;
    bool replace_ = false;
    bool keep_alpha_ = false;
};

} // namespace quillmap
