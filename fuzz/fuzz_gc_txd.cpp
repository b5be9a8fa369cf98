// libFuzzer entry point: GameCube dictionary load, every per-texture operation, edits and save.
#include "fuzz_drivers.h"

namespace quillmap {

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qm_fuzz::drive_dictionary<gc_txd>(std::span<const uint8_t>(data, size));
    return 0;
}

} // namespace quillmap
