#include "sample_pictures.h"

#include "dictionary/txd_probe.h"
#include "imageio/quantize.h"
#include "imageio/texture_png.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>

namespace quillmap {

namespace {
// PC dictionaries of DXT textures and PS2 dictionaries of 8-bit textures, photographic and
// interface art alike.
constexpr std::array<const char*, 6> k_sources = {"tdem_tde.txd", "crsr_hud.txd", "g3le_MISC.TXD",
                                                  "sav4_HUD.TXD", "cspolic.txd",  "flowerb.txd"};
constexpr uint32_t k_smallest_side = 32;
constexpr uint32_t k_cell = 128;
constexpr uint32_t k_fewest_colours = 16;

std::vector<rgba_image> sample_textures() {
    // One list per dictionary, then taken in turn, so that no one kind of art fills the mosaic.
    std::vector<std::vector<rgba_image>> lists;
    const std::filesystem::path folder = QUILLMAP_SAMPLES_DIR;
    for (const char* name : k_sources) {
        const std::filesystem::path path = folder / name;
        std::error_code ec;
        if (!std::filesystem::exists(path, ec)) continue;
        probe_result probed = probe_dictionary(path, 0, k_all_platforms);
        if (!probed.dictionary) continue;
        ps2_txd& txd = *probed.dictionary;
        std::vector<rgba_image>& list = lists.emplace_back();
        for (uint32_t t = 0; t < txd.texture_count(); ++t) {
            if (txd.width(t) < k_smallest_side || txd.height(t) < k_smallest_side) continue;
            const device_bitmap picture =
                txd.render(t, view_mode::mixed, swizzle_mode::as_stored, nullptr, 0);
            if (!picture || !picture->width || !picture->height) continue;
            rgba_image rgba = rgba_of_display(*picture);
            // Blank and two-colour textures would make any encoder look good.
            if (count_colours(rgba, k_fewest_colours) >= k_fewest_colours)
                list.push_back(std::move(rgba));
        }
    }
    std::vector<rgba_image> textures;
    for (size_t i = 0, taken = 1; taken; ++i) {
        taken = 0;
        for (auto& list : lists)
            if (i < list.size()) {
                textures.push_back(std::move(list[i]));
                ++taken;
            }
    }
    return textures;
}

// Cells of k_cell x k_cell, each holding one texture repeated as the game tiles it, so no cell is
// left empty.
rgba_image mosaic(const std::vector<rgba_image>& textures, uint32_t side) {
    rgba_image out;
    if (textures.empty()) return out;
    out.width = out.height = side;
    out.rgba.assign(size_t(side) * side * 4, 0);
    size_t next = 0;
    for (uint32_t cell_y = 0; cell_y < side; cell_y += k_cell)
        for (uint32_t cell_x = 0; cell_x < side; cell_x += k_cell) {
            const rgba_image& texture = textures[next++ % textures.size()];
            for (uint32_t y = cell_y; y < std::min(side, cell_y + k_cell); ++y)
                for (uint32_t x = cell_x; x < std::min(side, cell_x + k_cell); ++x)
                    std::copy_n(
                        texture.pixel((x - cell_x) % texture.width, (y - cell_y) % texture.height),
                        4, out.pixel(x, y));
        }
    return out;
}
} // namespace

const rgba_image& sample_mosaic(uint32_t side) {
    static const std::vector<rgba_image> textures = sample_textures();
    static std::map<uint32_t, rgba_image> made;
    auto it = made.find(side);
    if (it == made.end()) it = made.emplace(side, mosaic(textures, side)).first;
    return it->second;
}

} // namespace quillmap
