// libFuzzer entry point: chunk-stream open, walk and write-back, and raw-section import.
#include "fuzz_drivers.h"

namespace quillmap {

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qm_fuzz::drive_stream(std::span<const uint8_t>(data, size));
    return 0;
}

} // namespace quillmap
