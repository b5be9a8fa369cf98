#include "imageio/quantize.h"

#include "imageio/palette_map.h"

#include <libimagequant.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <unordered_map>
#include <unordered_set>

namespace quillmap {

namespace {
struct attr_free {
    void operator()(liq_attr* p) const { liq_attr_destroy(p); }
};
struct image_free {
    void operator()(liq_image* p) const { liq_image_destroy(p); }
};
struct result_free {
    void operator()(liq_result* p) const { liq_result_destroy(p); }
};
using attr_ptr = std::unique_ptr<liq_attr, attr_free>;
using image_ptr = std::unique_ptr<liq_image, image_free>;
using result_ptr = std::unique_ptr<liq_result, result_free>;

// The palette is chosen from at least this many pixels, at most every third of every third row.
constexpr double k_palette_pixels = 65536;
constexpr uint32_t k_largest_palette_step = 3;

const char* liq_message(liq_error code) {
    switch (code) {
    case LIQ_QUALITY_TOO_LOW:
        return "quantization quality too low";
    case LIQ_VALUE_OUT_OF_RANGE:
        return "quantization setting out of range";
    case LIQ_OUT_OF_MEMORY:
        return "out of memory while quantizing";
    case LIQ_BUFFER_TOO_SMALL:
        return "quantization buffer too small";
    default:
        return "quantization failed";
    }
}

bool valid(const rgba_image& image, std::string& error) {
    if (image.width == 0 || image.height == 0 ||
        image.rgba.size() != size_t(image.width) * image.height * 4) {
        error = "picture size does not match its pixels";
        return false;
    }
    return true;
}

// Entries no pixel takes leave the palette; the others keep their order.
void drop_unused_entries(indexed_image& mapped) {
    std::array<bool, 256> used{};
    for (uint8_t index : mapped.indices)
        used[index] = true;
    std::array<uint8_t, 256> renumbered{};
    std::vector<uint8_t> kept;
    for (uint32_t i = 0; i < mapped.entries(); ++i)
        if (used[i]) {
            renumbered[i] = uint8_t(kept.size() / 4);
            kept.insert(kept.end(), &mapped.palette[size_t(i) * 4],
                        &mapped.palette[size_t(i) * 4 + 4]);
        }
    for (uint8_t& index : mapped.indices)
        index = renumbered[index];
    mapped.palette = std::move(kept);
}

// Large pictures give the library every step-th pixel of every step-th row: enough of them to
// choose as good a palette, in a fraction of the time.
uint32_t palette_step(const rgba_image& image, const quantize_settings& settings) {
    if (settings.palette_step) return settings.palette_step;
    const double enough = double(image.width) * image.height / k_palette_pixels;
    return std::clamp(uint32_t(std::sqrt(enough)), 1u, k_largest_palette_step);
}

// Every `step`-th pixel of every `step`-th row.
rgba_image every_nth_pixel(const rgba_image& image, uint32_t step) {
    if (step <= 1) return image;
    rgba_image out;
    out.width = (image.width + step - 1) / step;
    out.height = (image.height + step - 1) / step;
    out.rgba.resize(size_t(out.width) * out.height * 4);
    uint8_t* target = out.rgba.data();
    for (uint32_t y = 0; y < image.height; y += step)
        for (uint32_t x = 0; x < image.width; x += step, target += 4)
            std::copy_n(image.pixel(x, y), 4, target);
    return out;
}

image_ptr make_image(liq_attr* attr, const rgba_image& image) {
    return image_ptr(
        liq_image_create_rgba(attr, image.rgba.data(), int(image.width), int(image.height), 0));
}
} // namespace

bool exact_palette(const rgba_image& image, uint32_t colours, indexed_image& out) {
    if (image.width == 0 || image.height == 0 ||
        image.rgba.size() != size_t(image.width) * image.height * 4)
        return false;
    colours = std::min(colours, 256u);
    std::unordered_map<uint32_t, uint8_t> index_of;
    indexed_image mapped;
    mapped.width = image.width;
    mapped.height = image.height;
    mapped.indices.resize(size_t(image.width) * image.height);
    for (size_t i = 0; i < mapped.indices.size(); ++i) {
        const uint8_t* p = &image.rgba[i * 4];
        const uint32_t key =
            uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
        auto [at, added] = index_of.try_emplace(key, uint8_t(index_of.size()));
        if (added) {
            if (index_of.size() > colours) return false;
            mapped.palette.insert(mapped.palette.end(), p, p + 4);
        }
        mapped.indices[i] = at->second;
    }
    out = std::move(mapped);
    return true;
}

bool exact_indices(const rgba_image& image, std::span<const uint8_t> palette, indexed_image& out) {
    if (image.width == 0 || image.height == 0 ||
        image.rgba.size() != size_t(image.width) * image.height * 4 || palette.size() < 4)
        return false;
    auto key = [](const uint8_t* p) {
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    };
    const size_t entries = std::min<size_t>(palette.size() / 4, 256);
    std::unordered_map<uint32_t, uint8_t> index_of;
    for (size_t i = entries; i-- > 0;)
        index_of[key(&palette[4 * i])] = uint8_t(i); // the first entry of a colour wins
    indexed_image mapped;
    mapped.width = image.width;
    mapped.height = image.height;
    mapped.indices.resize(size_t(image.width) * image.height);
    for (size_t i = 0; i < mapped.indices.size(); ++i) {
        const auto found = index_of.find(key(&image.rgba[4 * i]));
        if (found == index_of.end()) return false;
        mapped.indices[i] = found->second;
    }
    mapped.palette.assign(palette.begin(), palette.begin() + ptrdiff_t(4 * entries));
    out = std::move(mapped);
    return true;
}

bool quantize(const rgba_image& image, uint32_t colours, bool dither, indexed_image& out,
              std::string& error, const quantize_settings& settings) {
    if (!valid(image, error)) return false;
    colours = std::clamp(colours, 2u, 256u);
    if (exact_palette(image, colours, out)) return true;
    attr_ptr attr(liq_attr_create());
    if (!attr) {
        error = liq_message(LIQ_OUT_OF_MEMORY);
        return false;
    }
    liq_set_max_colors(attr.get(), int(colours));
    liq_set_speed(attr.get(), std::clamp(settings.speed, 1, 10));
    const rgba_image source = every_nth_pixel(image, palette_step(image, settings));
    image_ptr input = make_image(attr.get(), source);
    if (!input) {
        error = liq_message(LIQ_OUT_OF_MEMORY);
        return false;
    }
    // The library chooses the palette; the mapping onto it is the program's own (the same as mip
    // levels get), several times faster than the library's for the same quality.
    liq_result* raw = nullptr;
    if (liq_error rc = liq_image_quantize(input.get(), attr.get(), &raw); rc != LIQ_OK) {
        error = liq_message(rc);
        return false;
    }
    const result_ptr result(raw);
    const liq_palette* chosen = liq_get_palette(result.get());
    std::vector<uint8_t> palette;
    for (uint32_t i = 0; i < chosen->count; ++i) {
        const liq_color& c = chosen->entries[i];
        palette.insert(palette.end(), {c.r, c.g, c.b, c.a});
    }
    out = map_to_palette(image, palette, dither, mapping_rule::as_seen);
    if (out.indices.empty()) {
        error = "quantization failed";
        return false;
    }
    drop_unused_entries(out);
    keep_transparent_colours(image, out);
    return true;
}

bool remap(const rgba_image& image, std::span<const uint8_t> palette, bool dither,
           indexed_image& out, std::string& error) {
    if (!valid(image, error)) return false;
    if (palette.size() < 4) {
        error = "empty palette";
        return false;
    }
    // As the PS2 levels are mapped: each pixel keeps its alpha class. (libimagequant given the
    // palette as fixed colours measured 28.7 dB on a palette it had made itself for 42.1 dB,
    // at four times the time.)
    out = map_to_palette(image, palette, dither);
    return true;
}

uint32_t count_colours(const rgba_image& image, uint32_t limit) {
    std::unordered_set<uint32_t> seen;
    const size_t count = image.rgba.size() / 4;
    for (size_t i = 0; i < count && seen.size() <= limit; ++i) {
        const uint8_t* p = &image.rgba[i * 4];
        seen.insert(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                    uint32_t(p[3]) << 24);
    }
    return uint32_t(seen.size());
}

} // namespace quillmap
