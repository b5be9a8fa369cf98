#include "imageio/palette_search.h"

#include <algorithm>

namespace quillmap {

namespace {
// 16 cells along each colour axis and 8 along alpha's, in both metrics: 32 along the colour
// axes make twice as many cells to fill for shorter lists, measured 10 % slower in import_1024.
constexpr int k_colour_cell_bits = 4;
constexpr int k_alpha_cell_bits = 3;
constexpr uint32_t k_cells = 1u << (3 * k_colour_cell_bits + k_alpha_cell_bits);

std::array<int, 4> shifts_of(colour_metric metric) {
    // Coordinates reach 255, alpha's 510 (straight) or 65025 (seen).
    constexpr int straight = 8 - k_colour_cell_bits, seen = 16 - k_colour_cell_bits;
    return metric == colour_metric::straight ? std::array<int, 4>{straight, straight, straight, 6}
                                             : std::array<int, 4>{seen, seen, seen, 13};
}
} // namespace

colour_point point_of(colour_metric metric, int r, int g, int b, int a) {
    if (metric == colour_metric::straight) return {r, g, b, 2 * a};
    return {r * a, g * a, b * a, 255 * a};
}

int64_t squared_distance(const colour_point& p, const colour_point& q) {
    int64_t sum = 0; // at most 4 · 65025²
    for (int c = 0; c < 4; ++c) {
        const int64_t d = p[size_t(c)] - q[size_t(c)];
        sum += d * d;
    }
    return sum;
}

uint8_t nearest_entry_plain(colour_metric metric, std::span<const uint8_t> palette,
                            std::span<const uint8_t> candidates, int r, int g, int b, int a) {
    const colour_point p = point_of(metric, r, g, b, a);
    uint8_t best = candidates.front();
    int64_t best_distance = INT64_MAX;
    for (uint8_t i : candidates) {
        const uint8_t* e = &palette[size_t(i) * 4];
        const int64_t d = squared_distance(p, point_of(metric, e[0], e[1], e[2], e[3]));
        if (d < best_distance) {
            best_distance = d;
            best = i;
        }
    }
    return best;
}

palette_search::palette_search(colour_metric metric, std::span<const uint8_t> palette,
                               std::span<const uint8_t> candidates)
    : metric_(metric), shift_(shifts_of(metric)), candidates_(candidates.begin(), candidates.end()),
      points_(palette.size() / 4), axes_(candidates.size() * 4) {
    for (size_t i = 0; i < points_.size(); ++i) {
        const uint8_t* e = &palette[i * 4];
        points_[i] = point_of(metric, e[0], e[1], e[2], e[3]);
    }
    for (size_t k = 0; k < candidates_.size(); ++k)
        for (size_t c = 0; c < 4; ++c)
            axes_[c * candidates_.size() + k] = points_[candidates_[k]][c];
}

const uint64_t* palette_search::cell_list(uint32_t cell, const colour_point& point) {
    if (cell_start_.empty()) cell_start_.assign(k_cells, 0);
    if (const uint32_t start = cell_start_[cell]) return &lists_[start - 1];
    std::array<int64_t, 4> lo, hi; // the cell's corners
    for (size_t c = 0; c < 4; ++c) {
        lo[c] = (point[c] >> shift_[c]) << shift_[c];
        hi[c] = lo[c] + (1 << shift_[c]) - 1;
    }
    // Structure of arrays, so that the loop over the candidates runs in vector lanes.
    const size_t n = candidates_.size();
    std::vector<int64_t> near(n, 0), far(n, 0);
    for (size_t c = 0; c < 4; ++c) {
        const int64_t* axis = &axes_[c * n];
        const int64_t low = lo[c], high = hi[c];
        for (size_t k = 0; k < n; ++k) {
            const int64_t v = axis[k];
            const int64_t below = std::max<int64_t>(std::max(low - v, v - high), 0);
            const int64_t away = std::max(v - low, high - v);
            near[k] += below * below;
            far[k] += away * away;
        }
    }
    const int64_t bound = *std::min_element(far.begin(), far.end());
    std::vector<uint64_t> packed;
    // Least distances stay below 2^35: the shift keeps them whole.
    for (size_t k = 0; k < n; ++k)
        if (near[k] <= bound) packed.push_back(uint64_t(near[k]) << 8 | candidates_[k]);
    std::sort(packed.begin(), packed.end());
    const size_t start = lists_.size();
    lists_.push_back(packed.size());
    lists_.insert(lists_.end(), packed.begin(), packed.end());
    cell_start_[cell] = uint32_t(start + 1);
    return &lists_[start];
}

uint8_t palette_search::search(int r, int g, int b, int a) {
    const colour_point p = point_of(metric_, r, g, b, a);
    const uint32_t cell = uint32_t(p[3] >> shift_[3]) << (3 * k_colour_cell_bits) |
                          uint32_t(p[0] >> shift_[0]) << (2 * k_colour_cell_bits) |
                          uint32_t(p[1] >> shift_[1]) << k_colour_cell_bits |
                          uint32_t(p[2] >> shift_[2]);
    const uint64_t* list = cell_list(cell, p);
    const uint64_t count = list[0];
    uint32_t best = 256;
    int64_t best_distance = INT64_MAX;
    for (uint64_t k = 1; k <= count; ++k) {
        // Sorted by least distance: no later candidate can come closer than this one's least.
        if (int64_t(list[k] >> 8) > best_distance) break;
        const uint32_t entry = uint32_t(list[k] & 0xFF);
        const int64_t d = squared_distance(p, points_[entry]);
        // The plain search keeps the first of equals: the lowest position in the candidates,
        // which hold entries in rising order.
        if (d < best_distance || (d == best_distance && entry < best)) {
            best_distance = d;
            best = entry;
        }
    }
    return uint8_t(best);
}

} // namespace quillmap
