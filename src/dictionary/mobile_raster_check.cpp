#include "dictionary/mobile_raster_check.h"

#include "dictionary/mobile_texture_build.h"
#include "dictionary/txd_platform.h"
#include "stream/byte_reader.h"

#include <cstdio>

namespace quillmap {

namespace {
constexpr const char* k_count_word_what = "count word (device id half)";
constexpr const char* k_alpha_what = "alpha byte (98)";
constexpr const char* k_levels_what = "16-bit pixel bytes";

// The dictionary Struct's first word, none when the Struct is shorter.
std::optional<uint32_t> count_word(ps2_txd& txd) {
    rw_chunk* header = txd.root ? txd.root->child(0) : nullptr;
    const auto* data = header ? txd.load_data(header) : nullptr;
    return data ? u32_at(*data, 0) : std::nullopt;
}

// The Struct bytes a plain texture's whole levels take; none when it is no plain texture.
std::optional<uint64_t> whole_level_bytes(std::span<const uint8_t> data) {
    if (u32_at(data, mobile_offset::platform).value_or(0) != stored_platform::mobile_plain)
        return std::nullopt;
    std::string ignored;
    const auto fields = mobile_fields_of(data, ignored);
    if (!fields) return std::nullopt;
    uint64_t total = mobile_offset::pixels;
    for (uint32_t level = 0; level < fields->levels; ++level)
        total += mobile_level_bytes(*fields, level);
    return total;
}

std::string hex_of(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}
} // namespace

std::vector<ps2_problem> lint_mobile_textures(ps2_txd& txd) {
    std::vector<ps2_problem> problems;
    if (txd.family() != txd_family::mobile || !txd.root) return problems;
    const uint32_t count = txd.texture_count();
    if (const auto word = count_word(txd); word && *word != count) {
        ps2_problem problem{0, {}, k_count_word_what, hex_of(*word), hex_of(count)};
        problem.whole_dictionary = true;
        problems.push_back(std::move(problem));
    }
    for (uint32_t t = 0; t < count; ++t) {
        const auto data = txd.texture_struct(t);
        const auto report = [&](const char* what, std::string found, std::string expected) {
            problems.push_back({t, txd.texture_name(t, name_kind::texture), what, std::move(found),
                                std::move(expected)});
        };
        const auto alpha = u8_at(data, mobile_offset::alpha);
        if (alpha && *alpha > 1) report(k_alpha_what, std::to_string(*alpha), "1");
        if (const auto whole = whole_level_bytes(data); whole && *whole != data.size())
            report(k_levels_what, std::to_string(data.size() - mobile_offset::pixels),
                   std::to_string(*whole - mobile_offset::pixels) + " (whole levels)");
    }
    return problems;
}

uint32_t repair_mobile_textures(ps2_txd& txd) {
    if (txd.family() != txd_family::mobile || !txd.root) return 0;
    uint32_t changed = 0;
    const uint32_t count = txd.texture_count();
    if (const auto word = count_word(txd); word && *word != count) {
        store_u32(txd.load_data(txd.root->child(0))->data(), count);
        txd.root->child(0)->data_offset = 0;
        ++changed;
    }
    for (uint32_t t = 0; t < count; ++t) {
        const auto data = txd.texture_struct(t);
        if (data.size() > mobile_offset::alpha && data[mobile_offset::alpha] > 1) {
            data[mobile_offset::alpha] = 1;
            txd.texture_chunk(t)->child(0)->data_offset = 0;
            ++changed;
        }
        const auto whole = whole_level_bytes(data);
        if (!whole || *whole == data.size()) continue;
        std::vector<uint8_t> cut(data.begin(), data.begin() + static_cast<ptrdiff_t>(*whole));
        if (txd.replace_struct(t, std::move(cut))) ++changed;
    }
    return changed;
}

} // namespace quillmap
