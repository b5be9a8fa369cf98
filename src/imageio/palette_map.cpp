#include "imageio/palette_map.h"

#include "imageio/palette_search.h"

#include <algorithm>
#include <array>
#include <vector>

namespace quillmap {

namespace {
enum alpha_class : uint8_t { transparent = 0, partial = 1, opaque = 2 };
constexpr uint32_t k_classes = 3;

alpha_class class_of(uint8_t alpha) {
    return alpha == 0 ? transparent : alpha == 255 ? opaque : partial;
}

// The palette entries each alpha class may take: its own class, or every entry when the palette
// has none of that class (or the rule keeps no classes).
std::array<std::vector<uint8_t>, k_classes>
candidates_by_class(std::span<const uint8_t> palette, uint32_t entries, mapping_rule rule) {
    std::array<std::vector<uint8_t>, k_classes> by_class;
    if (rule == mapping_rule::keep_alpha_class)
        for (uint32_t i = 0; i < entries; ++i)
            by_class[class_of(palette[size_t(i) * 4 + 3])].push_back(uint8_t(i));
    for (auto& list : by_class)
        if (list.empty())
            for (uint32_t i = 0; i < entries; ++i)
                list.push_back(uint8_t(i));
    return by_class;
}

uint8_t clamp_channel(int value) {
    return uint8_t(std::clamp(value, 0, 255));
}

// The share of a pixel's colour error that dithering passes on: three quarters, and at most 16
// steps a channel. Full error diffusion scatters noise over smooth areas (3 dB further from the
// picture than libimagequant's dithering on real textures); this keeps the dither's banding
// cure at 0.2 dB of it (quantize_bench measures both).
int passed_on(int error) {
    return std::clamp(error * 12 / 16, -16, 16);
}

colour_metric metric_of(mapping_rule rule) {
    return rule == mapping_rule::keep_alpha_class ? colour_metric::straight : colour_metric::seen;
}

// `find(candidates, r, g, b, a)` gives the nearest entry among the candidates: through the
// cached search or the plain one, which the mapping is otherwise the same for.
template <class finder>
indexed_image map_with(const rgba_image& image, std::span<const uint8_t> palette, bool dither,
                       mapping_rule rule, finder&& find) {
    indexed_image out;
    const uint32_t entries = uint32_t(std::min<size_t>(palette.size() / 4, 256));
    const size_t count = size_t(image.width) * image.height;
    if (entries == 0 || image.rgba.size() < count * 4) return out;
    out.width = image.width;
    out.height = image.height;
    out.palette.assign(palette.begin(), palette.begin() + size_t(entries) * 4);
    out.indices.assign(count, 0);
    const auto by_class = candidates_by_class(out.palette, entries, rule);

    if (!dither) {
        for (size_t i = 0; i < count; ++i) {
            const uint8_t* p = &image.rgba[i * 4];
            out.indices[i] = find(by_class[class_of(p[3])], p[0], p[1], p[2], p[3]);
        }
        return out;
    }

    // Floyd-Steinberg over two rows of colour error (three channels, one pixel of margin).
    const size_t w = image.width;
    std::vector<int> current((w + 2) * 3, 0), next((w + 2) * 3, 0);
    for (uint32_t y = 0; y < image.height; ++y) {
        std::fill(next.begin(), next.end(), 0);
        for (size_t x = 0; x < w; ++x) {
            const uint8_t* p = image.pixel(uint32_t(x), y);
            const alpha_class cls = class_of(p[3]);
            int* error = &current[(x + 1) * 3];
            // Transparent pixels show nothing: they neither take nor give colour error.
            const bool visible = cls != transparent;
            const int r = visible ? p[0] + error[0] / 16 : p[0];
            const int g = visible ? p[1] + error[1] / 16 : p[1];
            const int b = visible ? p[2] + error[2] / 16 : p[2];
            const uint8_t index =
                find(by_class[cls], clamp_channel(r), clamp_channel(g), clamp_channel(b), p[3]);
            out.indices[size_t(y) * w + x] = index;
            if (!visible) continue;
            const uint8_t* e = &out.palette[size_t(index) * 4];
            const int diff[3] = {passed_on(clamp_channel(r) - e[0]),
                                 passed_on(clamp_channel(g) - e[1]),
                                 passed_on(clamp_channel(b) - e[2])};
            for (int c = 0; c < 3; ++c) {
                current[(x + 2) * 3 + c] += diff[c] * 7;
                next[x * 3 + c] += diff[c] * 3;
                next[(x + 1) * 3 + c] += diff[c] * 5;
                next[(x + 2) * 3 + c] += diff[c];
            }
        }
        std::swap(current, next);
    }
    return out;
}

} // namespace

palette_mapper::palette_mapper(std::span<const uint8_t> palette, mapping_rule rule)
    : palette_(palette.begin(), palette.begin() + std::min<size_t>(palette.size() / 4, 256) * 4),
      rule_(rule) {}

indexed_image palette_mapper::map(const rgba_image& image, bool dither) {
    // One search per candidate list (one per alpha class, or one for all), made when a pixel
    // that needs it first comes and kept for the next picture.
    const colour_metric metric = metric_of(rule_);
    return map_with(image, palette_, dither, rule_,
                    [&](const std::vector<uint8_t>& candidates, int r, int g, int b, int a) {
                        auto& search =
                            searches_[rule_ == mapping_rule::as_seen ? 0 : class_of(uint8_t(a))];
                        if (!search) search.emplace(metric, palette_, candidates);
                        return search->nearest(r, g, b, a);
                    });
}

indexed_image map_to_palette(const rgba_image& image, std::span<const uint8_t> palette, bool dither,
                             mapping_rule rule) {
    return palette_mapper(palette, rule).map(image, dither);
}

indexed_image map_to_palette_plain(const rgba_image& image, std::span<const uint8_t> palette,
                                   bool dither, mapping_rule rule) {
    const colour_metric metric = metric_of(rule);
    const std::span<const uint8_t> entries =
        palette.first(std::min<size_t>(palette.size() / 4, 256) * 4);
    return map_with(image, palette, dither, rule,
                    [&](const std::vector<uint8_t>& candidates, int r, int g, int b, int a) {
                        return nearest_entry_plain(metric, entries, candidates, r, g, b, a);
                    });
}

void keep_transparent_colours(const rgba_image& image, indexed_image& mapped) {
    const uint32_t entries = mapped.entries();
    const size_t count = size_t(image.width) * image.height;
    if (image.rgba.size() < count * 4 || mapped.indices.size() < count) return;
    std::vector<std::array<uint64_t, 4>> sums(entries, {0, 0, 0, 0});
    for (size_t i = 0; i < count; ++i) {
        const uint8_t index = mapped.indices[i];
        if (index >= entries || mapped.palette[size_t(index) * 4 + 3] != 0) continue;
        const uint8_t* p = &image.rgba[i * 4];
        auto& sum = sums[index];
        sum[0] += p[0];
        sum[1] += p[1];
        sum[2] += p[2];
        ++sum[3];
    }
    for (uint32_t i = 0; i < entries; ++i) {
        const auto& sum = sums[i];
        if (sum[3] == 0) continue;
        for (int c = 0; c < 3; ++c)
            mapped.palette[size_t(i) * 4 + c] = uint8_t((sum[c] + sum[3] / 2) / sum[3]);
    }
}

} // namespace quillmap
