// libFuzzer entry point: TIM2 reading, adding a texture from it and texture replacement.
#include "fuzz_drivers.h"

namespace quillmap {

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qm_fuzz::drive_tim2(std::span<const uint8_t>(data, size));
    return 0;
}

} // namespace quillmap
