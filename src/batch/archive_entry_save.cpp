#include "batch/archive_entry_save.h"

#include "stream/rw_chunk.h"

namespace quillmap {

uint64_t written_size(const ps2_txd& dictionary) {
    return dictionary.root ? uint64_t(dictionary.root->size) + k_chunk_header_bytes : 0;
}

} // namespace quillmap
