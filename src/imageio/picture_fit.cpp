#include "imageio/picture_fit.h"

#include "dictionary/txd_messages.h"
#include "imageio/mip_chain.h"

std::string size_text(uint32_t width, uint32_t height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

void add_note(std::string& note, const std::string& text) {
    note += (note.empty() ? "" : "; ") + text;
}

bool fit_to_texture(rgba_image& picture, uint32_t width, uint32_t height, bool resize,
                    std::string& error, std::string& note) {
    if (picture.width == width && picture.height == height) return true;
    if (!resize) {
        error = std::string(txd_msg::same_dimensions) + " The texture is " +
                size_text(width, height) + ", the picture " +
                size_text(picture.width, picture.height) + " (--resize scales it).";
        return false;
    }
    add_note(note, "scaled from " + size_text(picture.width, picture.height) + " to " +
                       size_text(width, height));
    picture = resized(picture, width, height);
    return true;
}
