#pragma once

#include "imageio/picture.h"

#include <cstdint>
#include <string>

namespace quillmap {

// Sizes as messages and notes show them: "256x128".
std::string size_text(uint32_t width, uint32_t height);

// Adds `text` to an edit's note, "; " between notes.
void add_note(std::string& note, const std::string& text);

// Gives `picture` the texture's size for a replace: kept when it has it, scaled with a note when
// `resize` allows, otherwise false with a message naming both sizes.
bool fit_to_texture(rgba_image& picture, uint32_t width, uint32_t height, bool resize,
                    std::string& error, std::string& note);

// Gives a new texture's `picture` power-of-two sides: kept when it has them, scaled to the
// nearest with a note when `resize` allows, otherwise false with a message naming the sizes.
bool fit_to_power_of_two(rgba_image& picture, const std::string& name, bool resize,
                         std::string& error, std::string& note);

} // namespace quillmap
