#include "dictionary/txd_probe.h"

#include "dictionary/gc_txd.h"
#include "dictionary/ios_txd.h"
#include "dictionary/pc_txd.h"
#include "dictionary/tex_txd.h"
#include "dictionary/txd_probe_fit.h"
#include "dictionary/xbox_txd.h"

#include <array>

namespace quillmap {

namespace {
template <class T> std::unique_ptr<ps2_txd> make() {
    return std::make_unique<T>();
}

// Fixed order: the first class that accepts a file wins.
constexpr std::array<platform_entry, 6> k_platforms = {{
    {txd_platform::ps2, "PS2", 0, &make<ps2_txd>},
    {txd_platform::pc, "PC", 0, &make<pc_txd>},
    {txd_platform::ios, "iOS", 0, &make<ios_txd>},
    {txd_platform::xbox, "XBOX", 0, &make<xbox_txd>},
    {txd_platform::tex, "TEX",
     restrict_import | restrict_replace | restrict_save | restrict_save_as, &make<tex_txd>},
    {txd_platform::gamecube, "GameCube", 0, &make<gc_txd>},
}};

constexpr bool rows_follow_the_enum() {
    for (size_t row = 0; row < k_platforms.size(); ++row)
        if (static_cast<size_t>(k_platforms[row].platform) != row) return false;
    return true;
}
static_assert(rows_follow_the_enum(), "platform_entry_of indexes the table by the enum");
} // namespace

std::span<const platform_entry> platform_table() {
    return k_platforms;
}

const platform_entry& platform_entry_of(txd_platform platform) {
    // The table lists the platforms in the enum's order.
    return k_platforms[static_cast<size_t>(platform)];
}

const char* platform_name(txd_platform platform) {
    return platform_entry_of(platform).name;
}

probe_result probe_dictionary(const std::filesystem::path& path, uint32_t offset,
                              std::string_view priority) {
    probe_result result;
    const auto table = platform_table();
    // When every class refuses, the reason is that of the class that got furthest: one that
    // knew the textures as its own and refused them, else the file's own fault (a damaged chunk
    // walk), else the list of classes that knew none of the textures.
    std::string file_cause, refusals, foreign_refusals;
    for (size_t index = 0; index < table.size(); ++index) {
        const std::string_view name = table[index].name;
        size_t pos = 0;
        while (pos < priority.size()) {
            if (priority.substr(pos, name.size()) != name) {
                ++pos;
                continue;
            }
            auto dictionary = table[index].create();
            if (dictionary->load(path, offset, 0x16, 0)) {
                result.dictionary = std::move(dictionary);
                result.platform = table[index].platform;
                result.restriction_mask = table[index].restriction_mask;
                return result;
            }
            const std::string why = dictionary->error_detail.empty() ? dictionary->last_error
                                                                     : dictionary->error_detail;
            // A tree read from the file (not one built in memory) means the chunks were fine
            // and the class refused the textures.
            const bool read_tree = dictionary->root && dictionary->root->data_offset != 0;
            std::string& list = read_tree && fit_msg::is_wrong_platform(dictionary->error_detail)
                                    ? foreign_refusals
                                    : refusals;
            if (read_tree)
                list += (list.empty() ? "" : "; ") + std::string(name) + ": " + why;
            else if (file_cause.empty())
                file_cause = why;
            pos += name.size() + 1;
        }
    }
    result.reason = !refusals.empty()           ? "no class reads its textures: " + refusals
                    : !file_cause.empty()       ? file_cause
                    : !foreign_refusals.empty() ? "no class reads its textures: " + foreign_refusals
                                                : "no dictionary class is named in the setting";
    return result;
}

bool probe_pc_test(ps2_txd& dictionary) {
    if (dictionary.texture_count() == 0) return true;
    const uint32_t id = dictionary.platform_id(0);
    return id == stored_platform::d3d8 || id == stored_platform::d3d9;
}

bool probe_mobile_test(ps2_txd& dictionary) {
    if (dictionary.texture_count() == 0) return false;
    const uint32_t id = dictionary.platform_id(0);
    return id >= stored_platform::mobile_dxt && id <= stored_platform::mobile_last_compressed;
}

bool probe_unshown_texture(ps2_txd& dictionary) {
    if (dictionary.family() != txd_family::mobile) return false;
    const uint32_t count = dictionary.texture_count();
    for (uint32_t t = 0; t < count; ++t) {
        const uint32_t id = dictionary.platform_id(t);
        if (id > stored_platform::mobile_dxt && id <= stored_platform::mobile_last_compressed)
            return true;
    }
    return false;
}

} // namespace quillmap
