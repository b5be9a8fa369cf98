#pragma once

#include "dictionary/ps2_txd.h"
#include "dictionary/txd_platform.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quillmap {

// Restriction mask bits: the commands a dictionary class refuses.
enum restriction_bits : uint32_t {
    restrict_opening = 1,
    restrict_import = 2,
    restrict_export = 4,
    restrict_replace = 8,
    restrict_save = 16,
    restrict_save_as = 32,
};

// One row of the platform table, tried in table order when a file is opened.
struct platform_entry {
    txd_platform platform;
    const char* name;
    uint32_t restriction_mask;
    std::unique_ptr<ps2_txd> (*create)();
};

std::span<const platform_entry> platform_table();
// The row of `platform`, and its name ("PS2", "PC", "iOS", "XBOX", "TEX", "GameCube").
const platform_entry& platform_entry_of(txd_platform platform);
const char* platform_name(txd_platform platform);

// The default of the "platform_priority" setting, and a text that names every platform.
inline constexpr std::string_view k_default_platform_priority = "PS2,PC,iOS";
inline constexpr std::string_view k_all_platforms = "PS2,PC,iOS,XBOX,TEX,GameCube";

struct probe_result {
    std::unique_ptr<ps2_txd> dictionary;  // none when every tried class refused the file
    std::optional<txd_platform> platform; // none when no class accepted the file
    uint32_t restriction_mask = 0;
    // When no class accepted the file: why, for the reader. The file-level cause (the system's
    // reason, "not a RenderWare file: ...", a damaged chunk) when no class could read the file's
    // chunks; else each refusing class with the texture that does not fit it.
    std::string reason;
};

// Tries the classes named in `priority` (a class once per occurrence of its name, table order
// deciding) with load(path, offset, 0x16, 0); the first class that accepts the file wins.
probe_result probe_dictionary(const std::filesystem::path& path, uint32_t offset,
                              std::string_view priority);

// The PC test (texture 0 is D3D8/D3D9, or there are no textures) and the mobile test (texture 0
// is platform 9, 10 or 11) that decide the unsupported-compression warning.
bool probe_pc_test(ps2_txd& dictionary);
bool probe_mobile_test(ps2_txd& dictionary);
// Whether a texture of the dictionary has pixels that cannot be shown: a mobile texture of the
// PowerVR or Adreno compression (platform words 10 and 11). Every other kind renders.
bool probe_unshown_texture(ps2_txd& dictionary);

} // namespace quillmap
