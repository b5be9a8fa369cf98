#include "dictionary/xbox_txd.h"

#include "dictionary/platform_messages.h"
#include "dictionary/txd_messages.h"
#include "dictionary/txd_platform.h"
#include "dictionary/txd_probe_fit.h"
#include "stream/byte_reader.h"

#include <algorithm>

namespace quillmap {

namespace {} // namespace

bool xbox_txd::load(const std::filesystem::path& path, uint32_t offset, uint32_t expected_root_id,
                    uint32_t flags) {
    if (!open_dictionary_file(path, offset, expected_root_id, flags)) return false;
    if (!every_texture_fits(*this, platform_msg::not_xbox, [this](uint32_t t) {
            const uint32_t platform = u32_at(texture_struct(t), k_offset_platform).value_or(0);
            if (platform != stored_platform::xbox)
                return fit_msg::wrong_platform("XBOX", texture_struct(t));
            return layout_misfit(t);
        }))
        return false;
    if (!is_xbox_texture(0)) {
        last_error = platform_msg::not_xbox;
        return false;
    }
    return true;
}

bool xbox_txd::is_xbox_texture(uint32_t t) {
    if (!root || texture_count() == 0) return true;
    if (t >= texture_count()) {
        last_error = txd_msg::unknown_texture_id;
        return false;
    }
    return u32_at(texture_struct(t), k_offset_platform) == stored_platform::xbox;
}

uint32_t xbox_txd::compression(uint32_t t) {
    if (!texture_exists(t)) return 0;
    // The XBOX's own format numbers: 12 DXT1, 14 DXT3, 15 DXT5 (interpolated alpha).
    const uint32_t b = u8_at(texture_struct(t), k_offset_compression).value_or(0);
    switch (b) {
    case 0:
    case 1:
        return 0;
    case 12:
        return 1;
    case 14:
        return 3;
    case 15:
        return 5;
    default:
        return b;
    }
}

uint32_t xbox_txd::dxt_kind(uint32_t value) const {
    if (value == 0) return 0;
    if (value == 1 || value == 3 || value == 5) return value;
    return k_no_pixels;
}

void xbox_txd::locate_levels(std::span<const uint8_t> data, texture_layout& found) {
    // The word after the palette, then level 0.
    byte_reader in(data);
    in.seek(k_offset_palette + uint64_t(found.palette_bytes), "palette");
    const uint32_t announced = in.u32("level size");
    const uint64_t start = in.position();
    const uint64_t first = level_bytes(found, 0);
    if (!in.skip(first, "level 0")) return;
    found.levels.push_back({start, first});

    const uint32_t wanted = std::min<uint32_t>(found.levels_declared, k_max_levels);
    if (wanted <= 1) return;

    // PC style: a size word in front of every further level, each naming that level's bytes.
    std::vector<level_span> chained;
    byte_reader chain = in;
    for (uint32_t level = 1; level < wanted; ++level) {
        const uint64_t bytes = level_bytes(found, level);
        if (chain.u32("level size") != bytes || !chain.ok()) break;
        const uint64_t at = chain.position();
        if (!chain.skip(bytes, "level")) break;
        chained.push_back({at, bytes});
    }
    if (chained.size() + 1 == wanted) {
        found.levels.insert(found.levels.end(), chained.begin(), chained.end());
        return;
    }

    // One after another, announced by the word after the palette.
    uint64_t total = 0;
    for (uint32_t level = 0; level < wanted; ++level)
        total += level_bytes(found, level);
    if (announced != total || !fits(start, total, data.size())) return;
    uint64_t position = start + first;
    for (uint32_t level = 1; level < wanted; ++level) {
        const uint64_t bytes = level_bytes(found, level);
        found.levels.push_back({position, bytes});
        position += bytes;
    }
}

} // namespace quillmap
