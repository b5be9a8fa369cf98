#pragma once

#include "dictionary/ps2_txd.h"

#include <filesystem>
#include <memory>
#include <string>

namespace quillmap {

// The last steps every builder of textures shares: a built texture appended to its dictionary
// and a converted dictionary saved, with the dictionary's own message when either fails.

// False when the build failed (its message is already in `error`) or the dictionary refused
// the texture (its message is copied to `error`).
inline bool append_built(ps2_txd& txd, std::unique_ptr<rw_chunk> texture, std::string& error,
                         uint32_t limit = ps2_txd::k_max_textures) {
    if (!texture) return false;
    if (txd.append_texture(std::move(texture), limit)) return true;
    error = txd.last_error;
    return false;
}

inline bool save_built(ps2_txd& txd, const std::filesystem::path& out, std::string& error) {
    if (txd.save(out, 0)) return true;
    error = txd.last_error;
    return false;
}

} // namespace quillmap
