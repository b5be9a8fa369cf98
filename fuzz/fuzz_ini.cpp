// libFuzzer entry point: the settings file reader and writer.
#include "fuzz_drivers.h"

namespace quillmap {

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qm_fuzz::drive_ini(std::span<const uint8_t>(data, size));
    return 0;
}

} // namespace quillmap
