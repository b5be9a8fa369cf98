#include "dictionary/txd_probe_fit.h"

#include "dictionary/ps2_txd.h"
#include "dictionary/txd_platform.h"
#include "stream/byte_reader.h"
#include "stream/rw_ids.h"

namespace quillmap {

bool every_texture_fits(ps2_txd& dictionary, const char* refusal, const texture_misfit& misfit) {
    const uint32_t count = dictionary.texture_count();
    for (uint32_t t = 0; t < count; ++t) {
        const rw_chunk* texture = dictionary.texture_chunk(t);
        if (!texture || texture->id != rw_id_texture_native) continue;
        const std::string why = misfit(t);
        if (why.empty()) continue;
        dictionary.last_error = refusal;
        dictionary.error_detail = "texture " + std::to_string(t) + " " + why;
        return false;
    }
    return true;
}

namespace fit_msg {
std::string wrong_platform(const char* kind, std::span<const uint8_t> data) {
    const bool ps2 = data.size() >= 3 && data[0] == 'P' && data[1] == 'S' && data[2] == '2';
    const uint32_t platform_id = ps2 ? stored_platform::ps2 : u32_at(data, 0).value_or(0);
    return "is no " + std::string(kind) + " texture (platform id " + std::to_string(platform_id) +
           ")";
}
bool is_wrong_platform(std::string_view detail) {
    // "texture N is no KIND texture (platform id P)", as every_texture_fits and wrong_platform
    // put it together.
    const size_t is_no = detail.find(" is no ");
    return detail.starts_with("texture ") && is_no != std::string_view::npos &&
           detail.find(" texture (platform id ", is_no) != std::string_view::npos;
}
std::string struct_short(uint64_t holds, uint64_t needs) {
    return "needs " + std::to_string(needs) + " bytes, its Struct holds " + std::to_string(holds);
}
std::string bad_size(uint32_t width, uint32_t height, uint32_t largest) {
    return "is " + std::to_string(width) + "x" + std::to_string(height) + ", outside 1x1 to " +
           std::to_string(largest) + "x" + std::to_string(largest);
}
std::string bad_depth(uint32_t depth) {
    return "has an unsupported depth of " + std::to_string(depth) + " bits";
}
std::string no_raster_header() {
    return "has no raster header";
}
} // namespace fit_msg

} // namespace quillmap
