#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace quillmap {

// The palette entry nearest a colour, among a fixed list of candidate entries. The first
// candidate (in list order) wins a tie.

// How far two colours lie apart: the squared distance between their points in a space of four
// coordinates.
enum class colour_metric {
    // Red, green and blue as stored, alpha counted four times a colour channel: partly
    // transparent pixels stay near their alpha. (Points: r, g, b, 2·a.)
    straight,
    // Colour as it is seen, weighted by alpha, and alpha itself: the colour under a clear pixel
    // does not count. (Points: r·a, g·a, b·a, 255·a: whole, so that distinct visible colours
    // never meet and a palette holding the picture's colours maps it exactly.)
    seen,
};

using colour_point = std::array<int32_t, 4>;
colour_point point_of(colour_metric metric, int r, int g, int b, int a);
int64_t squared_distance(const colour_point& p, const colour_point& q);

// Every candidate tried: the reference the cached search is held to.
uint8_t nearest_entry_plain(colour_metric metric, std::span<const uint8_t> palette,
                            std::span<const uint8_t> candidates, int r, int g, int b, int a);

// The same answer through a grid of cells over the metric's space: each cell keeps, made on
// first use, the candidates that can be nearest anywhere in it (those whose least distance to
// the cell is no more than the smallest of the candidates' largest distances to it), sorted by
// that least distance, so a search tries a handful of entries and stops at the first that
// cannot come closer than the best so far.
class palette_search {
  public:
    // `palette` holds RGBA entries; `candidates` (non-empty, in rising order) is copied.
    palette_search(colour_metric metric, std::span<const uint8_t> palette,
                   std::span<const uint8_t> candidates);
    // Channels 0..255. Pictures and their dithered colours repeat: a small table of recent
    // answers comes first (here, so that the common case costs no call).
    uint8_t nearest(int r, int g, int b, int a) {
        const uint32_t key = uint32_t(r) | uint32_t(g) << 8 | uint32_t(b) << 16 | uint32_t(a) << 24;
        recent& slot = recent_[(key * 2654435761u) >> (32 - k_recent_bits)];
        if (slot.key != key || slot.entry > 255) slot = {key, search(r, g, b, a)};
        return uint8_t(slot.entry);
    }

  private:
    static constexpr int k_recent_bits = 14;
    struct recent {
        uint32_t key = 0;
        uint32_t entry = 256; // none yet
    };

    uint8_t search(int r, int g, int b, int a);
    const uint64_t* cell_list(uint32_t cell, const colour_point& point);

    colour_metric metric_;
    std::array<int, 4> shift_; // a coordinate's cell is the coordinate shifted right this far
    std::vector<uint8_t> candidates_;
    std::vector<colour_point> points_; // per palette entry
    std::vector<int64_t> axes_;        // the candidates' points, one axis after another
    std::vector<uint32_t> cell_start_; // per cell: 1 + offset of its list in lists_, 0 unmade
    // Per made cell: the count, then per candidate its least distance to the cell << 8 | entry.
    std::vector<uint64_t> lists_;
    std::vector<recent> recent_ = std::vector<recent>(size_t(1) << k_recent_bits);
};

} // namespace quillmap
