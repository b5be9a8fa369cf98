#include "imageio/picture_fit.h"

#include "dictionary/txd_messages.h"
#include "imageio/mip_chain.h"

#include <bit>

namespace quillmap {

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

bool fit_to_power_of_two(rgba_image& picture, const std::string& name, bool resize,
                         std::string& error, std::string& note) {
    const uint32_t w = picture.width, h = picture.height;
    if (std::has_single_bit(w) && std::has_single_bit(h)) return true;
    if (!resize) {
        error = name + " is " + size_text(w, h) +
                ": textures need power-of-two sides; the nearest sizes are " +
                size_text(power_of_two_below(w), power_of_two_below(h)) + " and " +
                size_text(power_of_two_above(w), power_of_two_above(h)) + " (--resize scales it)";
        return false;
    }
    picture = resized(picture, nearest_power_of_two(w), nearest_power_of_two(h));
    add_note(note,
             "scaled from " + size_text(w, h) + " to " + size_text(picture.width, picture.height));
    return true;
}

} // namespace quillmap
