// libFuzzer entry point: DDS reading, decoding of every level and writing back.
#include "fuzz_drivers.h"

namespace quillmap {

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qm_fuzz::drive_dds(std::span<const uint8_t>(data, size));
    return 0;
}

} // namespace quillmap
