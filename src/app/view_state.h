#pragma once

// How the window shows the texture: the view (texture, alpha or both), the swizzle override and
// whether the information panel is shown. The chosen mip level lives in the level chooser and
// the zoom in the preview, which own them; this is the rest of what a view command changes.

#include "dictionary/export_type.h"
#include "dictionary/swizzle_mode.h"
#include "raster/view_mode.h"

namespace quillmap {

struct view_state {
    view_mode alpha = view_mode::texture;
    quillmap::swizzle_mode swizzle = quillmap::swizzle_mode::as_stored;
    bool info_shown = false;

    // The order an export of `type` reads the pixels in: a PNG is the picture as the texture
    // stores it, whatever the view's temporary override; BMP and TIM2 follow the view.
    quillmap::swizzle_mode export_swizzle(export_type type) const {
        return type == export_type::png ? quillmap::swizzle_mode::as_stored : swizzle;
    }
};

} // namespace quillmap
