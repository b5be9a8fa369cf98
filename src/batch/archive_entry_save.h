#pragma once

#include "dictionary/ps2_txd.h"

#include <cstdint>
#include <filesystem>
#include <string>

// Writing an edited dictionary back into the archive entry it was opened from. The archive's
// entry table says how many sectors the entry owns; the dictionary may grow into the unused end
// of its last sector but never past the entry, since the next entry's bytes follow.

// The bytes the dictionary takes when written: its root chunk with header.
uint64_t written_size(const ps2_txd& dictionary);

// Saves `dictionary` at `entry_offset` in `archive` when it fits the entry's `entry_size` bytes;
// every byte outside the entry stays as it was. False with `error` when it does not fit (the
// caller offers Save As) or the write fails.
bool save_into_archive_entry(ps2_txd& dictionary, const std::filesystem::path& archive,
                             uint64_t entry_offset, uint64_t entry_size, std::string& error);
