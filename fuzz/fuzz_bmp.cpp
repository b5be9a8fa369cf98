// libFuzzer entry point: BMP reading, conversion back to raster data and texture replacement.
#include "fuzz_drivers.h"

namespace quillmap {

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qm_fuzz::drive_bmp(std::span<const uint8_t>(data, size));
    return 0;
}

} // namespace quillmap
