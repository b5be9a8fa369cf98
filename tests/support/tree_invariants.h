#pragma once

#include "stream/rw_stream.h"

#include <string>
#include <vector>

namespace quillmap {

// Checks what every edit must keep true of a dictionary tree: each container's size is the sum
// of its children's sizes plus 12 each, each leaf's data covers its size, the count byte equals
// the number of Texture Natives, the Struct comes first and the Extension stays last. Returns
// an empty string when all hold, otherwise the first broken rule.
std::string dictionary_invariant_error(const rw_stream& dictionary);

// Every chunk header of a chunk file, walked independently of rw_stream: (id, size, version).
struct file_chunk_header {
    uint32_t id = 0;
    uint32_t size = 0;
    uint32_t version = 0;
};
// Walks with the same container rule as the editor (fourth child of a Texture Native is a
// container; Struct, String and Sky Mipmap Val are leaves). Empty on a malformed file.
std::vector<file_chunk_header> file_chunk_headers(const std::vector<uint8_t>& bytes);

} // namespace quillmap
