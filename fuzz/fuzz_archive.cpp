// libFuzzer entry point: game archive entry tables (VER2 and .dir/.img) and their entries.
#include "fuzz_drivers.h"

namespace quillmap {

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qm_fuzz::drive_archive(std::span<const uint8_t>(data, size));
    return 0;
}

} // namespace quillmap
