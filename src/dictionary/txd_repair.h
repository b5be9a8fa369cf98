#pragma once

#include "stream/rw_chunk.h"

#include <cstdint>
#include <filesystem>
#include <memory>

namespace quillmap {

// Root sizes that real writers get wrong by one chunk header. In both cases the root claims
// exactly 12 bytes more than the file holds while its children end exactly at the end of the file:
// - some mobile-port tools leave out the dictionary's closing Extension but still count its
//   header (the last child is then no Extension);
// - some PC dictionary tools store the length of the whole file, the root's own header included,
//   as the root's size (the closing Extension is there).
enum class root_size_quirk { none, lacks_closing_extension, counts_own_header };

// Which of the quirks a dictionary read from `offset` shows; none for any other file.
root_size_quirk find_root_size_quirk(const std::filesystem::path& path, uint32_t offset);

// The empty Extension supplied in memory for a file that lacks it.
std::unique_ptr<rw_chunk> make_missing_extension(uint32_t version);

} // namespace quillmap
