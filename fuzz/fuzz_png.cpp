// libFuzzer entry point: PNG reading. Whatever decodes must be a consistent picture, encode
// again and decode to the same pixels.
#include "imageio/png_codec.h"

#include <cstdio>
#include <cstdlib>

namespace quillmap {

namespace {
void check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz_png: %s\n", what);
    std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    png_picture picture;
    std::string error;
    if (!decode_png(std::span<const uint8_t>(data, size), picture, error)) {
        check(!error.empty(), "a failure without a message");
        return 0;
    }
    const rgba_image& image = picture.image;
    check(image.width && image.height && image.width <= k_png_max_side &&
              image.height <= k_png_max_side,
          "size outside the limits");
    check(image.rgba.size() == size_t(image.width) * image.height * 4, "pixels do not fit size");
    if (picture.indexed) {
        const indexed_image& indexed = *picture.indexed;
        check(indexed.indices.size() == size_t(image.width) * image.height, "index count");
        for (uint8_t index : indexed.indices)
            check(index < indexed.entries(), "index outside the palette");
        const auto again = encode_png_indexed(indexed, 8, error);
        png_picture back;
        check(!again.empty() && decode_png(again, back, error), "palette picture re-encodes");
        check(back.image.rgba == image.rgba, "palette picture keeps its pixels");
    }
    const auto again = encode_png_rgba(image, error);
    png_picture back;
    check(!again.empty() && decode_png(again, back, error), "picture re-encodes");
    check(back.image.rgba == image.rgba, "picture keeps its pixels");
    return 0;
}

} // namespace quillmap
