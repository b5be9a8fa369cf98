#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace quillmap {

class ps2_txd;

// Whether an opened file is of a class's kind: each class reads the texture Structs it knows and
// names the first that does not fit its layout, so that the next class is tried instead of a
// file being read with the wrong layout (a PC dictionary read as a mobile one shows sizes such as
// 12806x2049).

// Why texture t does not fit the class's layout; empty when it fits.
using texture_misfit = std::function<std::string(uint32_t t)>;

// True when every texture the dictionary holds fits. Otherwise last_error becomes `refusal` (the
// class's own message) and error_detail names the texture and the cause. Count entries the file
// does not hold as Texture Natives are not read and not judged.
bool every_texture_fits(ps2_txd& dictionary, const char* refusal, const texture_misfit& misfit);

// The causes, as the detail of a refusal shows them.
namespace fit_msg {
// `data` is the texture's Struct; a PS2 one shows as platform id 4.
std::string wrong_platform(const char* kind, std::span<const uint8_t> data);
// Whether a refusal's detail is wrong_platform's: the class did not know the textures as its own,
// which tells less about the file than any other refusal.
bool is_wrong_platform(std::string_view detail);
std::string struct_short(uint64_t holds, uint64_t needs);
std::string bad_size(uint32_t width, uint32_t height, uint32_t largest);
std::string bad_depth(uint32_t depth);
std::string no_raster_header();
} // namespace fit_msg

} // namespace quillmap
