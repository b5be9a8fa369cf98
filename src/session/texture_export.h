#pragma once

#include "dictionary/export_type.h"
#include "dictionary/ps2_txd.h"
#include "imageio/png_writer.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace quillmap {

// How textures are written out: the view (texture or alpha), the file type, the swizzle reading,
// the level (a PNG holds any level, the other types level 0) and how a PNG is packed.
struct export_settings {
    view_mode view = view_mode::texture;
    export_type type = export_type::png;
    swizzle_mode swizzle = swizzle_mode::as_stored;
    uint32_t level = 0;
    png_write_options png;
};

// Writes texture t to `path`: PNG and DDS are written here, BMP, TIM2 and raw sections by the
// dictionary. The one place that turns an export type into a writer; false with `error`.
bool write_texture_file(ps2_txd& txd, uint32_t t, const export_settings& settings,
                        const std::filesystem::path& path, std::string& error);

struct export_failure {
    uint32_t texture = 0;
    std::string file; // the name it was to be written under
    std::string error;
};

// What an export of several textures did. A failed texture never stops the others: every
// failure is collected and reported at the end.
struct export_report {
    uint32_t asked = 0; // textures asked for
    uint32_t done = 0;  // textures tried, written or failed; fewer than asked after a cancel
    std::vector<std::filesystem::path> written;
    std::vector<export_failure> failures;
    bool cancelled() const { return done < asked; }
};

// Told after each texture how many are done of how many and the name of the next texture
// (empty after the last); answering false stops the export before the next texture starts.
using export_progress = std::function<bool(uint32_t done, uint32_t total, const std::string& next)>;

// Writes each of `textures` into `folder`, named as an export without a path names it; names
// that repeat (case aside) get "_2", "_3"... so no texture of the run overwrites another.
void export_textures_into(ps2_txd& txd, std::span<const uint32_t> textures,
                          const std::filesystem::path& folder, const export_settings& settings,
                          export_report& report, const export_progress& progress = {});

} // namespace quillmap
