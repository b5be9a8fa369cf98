// libFuzzer entry point: archive edits (table parse, one edit, reparse).
#include "fuzz_drivers.h"

namespace quillmap {

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qm_fuzz::drive_archive_edit(std::span<const uint8_t>(data, size));
    return 0;
}

} // namespace quillmap
