// libFuzzer entry point: the pop-up menu's conversions on every texture of a PS2 dictionary. A
// conversion either changes the texture as asked or says why and leaves the dictionary as it
// was; the result always saves.
#include "fuzz_drivers.h"
#include "imageio/texture_conversion.h"

namespace quillmap {

namespace {
constexpr texture_conversion k_conversions[] = {
    texture_conversion::unswizzle, texture_conversion::swizzle, texture_conversion::depth4,
    texture_conversion::depth8, texture_conversion::depth32};

void drive_conversions(std::span<const uint8_t> data) {
    const auto path = qm_fuzz::put("input.txd", data);
    ps2_txd txd;
    if (!txd.load(path, 0, 0x16, 0)) return;
    const uint32_t count = std::min(txd.texture_count(), qm_fuzz::k_max_textures_driven);
    for (uint32_t t = 0; t < count; ++t) {
        for (texture_conversion conversion : k_conversions) {
            const bool applies = conversion_applies(txd, t, conversion);
            const uint32_t before_size = txd.root ? txd.root->size : 0;
            std::string error;
            // No dithering: the fuzzer spends its time on the layouts, not the quantizer.
            const bool converted = convert_texture(txd, t, conversion, false, error);
            if (converted && !applies) qm_fuzz::broken("converted what does not apply");
            if (!converted && error.empty())
                qm_fuzz::broken("conversion refused without a message");
            if (!converted && txd.root && txd.root->size != before_size)
                qm_fuzz::broken("refused conversion changed the dictionary's size");
            if (converted && txd.texture_count() <= t) qm_fuzz::broken("conversion lost a texture");
        }
    }
    const auto out = qm_fuzz::scratch() / "converted.txd";
    if (!txd.save(out, 0) && txd.last_error.empty()) qm_fuzz::broken("save failed silently");
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    drive_conversions(std::span<const uint8_t>(data, size));
    return 0;
}

} // namespace quillmap
