#include "batch/archive_entry_save.h"

#include "stream/rw_chunk.h"

uint64_t written_size(const ps2_txd& dictionary) {
    return dictionary.root ? uint64_t(dictionary.root->size) + k_chunk_header_bytes : 0;
}

bool save_into_archive_entry(ps2_txd& dictionary, const std::filesystem::path& archive,
                             uint64_t entry_offset, uint64_t entry_size, std::string& error) {
    const uint64_t size = written_size(dictionary);
    if (size == 0) {
        error = "There is no dictionary to save.";
        return false;
    }
    if (size > entry_size) {
        error = "The dictionary needs " + std::to_string(size) + " bytes but its archive entry " +
                "holds " + std::to_string(entry_size) + "; save it as a separate file instead.";
        return false;
    }
    if (entry_offset > UINT32_MAX) {
        error = "The archive entry lies beyond 4 GiB, where it cannot be written.";
        return false;
    }
    // The tree is written in place inside the entry's sectors; every other byte stays.
    if (!dictionary.save_within(archive, uint32_t(entry_offset), entry_size)) {
        error = dictionary.last_error;
        return false;
    }
    return true;
}
