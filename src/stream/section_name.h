#pragma once

#include <cstdint>

namespace quillmap {

// Display name of a section identifier: "N/A" for unknown ids, "" for the two unnamed slots.
const char* section_name(uint32_t id);

} // namespace quillmap
