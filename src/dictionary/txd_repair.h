#pragma once

#include "stream/rw_chunk.h"

#include <cstdint>
#include <filesystem>
#include <memory>

// Some mobile-port tools leave out a dictionary's closing Extension but still count its header in
// the root's size: the root claims exactly 12 bytes more than the file holds while its children
// end exactly at the end of the file. True for such a file (read from `offset`).
bool lacks_closing_extension(const std::filesystem::path& path, uint32_t offset);

// The empty Extension supplied in memory for such a file.
std::unique_ptr<rw_chunk> make_missing_extension(uint32_t version);
