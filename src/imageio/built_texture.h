#pragma once

#include "dictionary/ps2_txd.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

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

// A converted texture appended under its source's name: a failed build stops the conversion
// with the texture's name before the builder's message; its note is kept for the report.
inline bool append_converted(ps2_txd& target, const std::string& name,
                             std::unique_ptr<rw_chunk> texture, const std::string& note,
                             std::vector<std::string>& notes, std::string& error,
                             uint32_t limit = ps2_txd::k_max_textures) {
    if (!texture) {
        error = name + ": " + error;
        return false;
    }
    if (!append_built(target, std::move(texture), error, limit)) return false;
    if (!note.empty()) notes.push_back(name + ": " + note);
    return true;
}

inline bool save_built(ps2_txd& txd, const std::filesystem::path& out, std::string& error) {
    if (txd.save(out, 0)) return true;
    error = txd.last_error;
    return false;
}

} // namespace quillmap
