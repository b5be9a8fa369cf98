#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace quillmap {

// The platforms a dictionary can be converted to, as `--to` names them; every command that
// converts takes its target from here.
enum class convert_target { ps2, d3d8, d3d9, xbox, mobile, gamecube };

inline constexpr std::array<std::pair<std::string_view, convert_target>, 6> k_convert_targets = {{
    {"ps2", convert_target::ps2},
    {"d3d8", convert_target::d3d8},
    {"d3d9", convert_target::d3d9},
    {"xbox", convert_target::xbox},
    {"mobile", convert_target::mobile},
    {"gamecube", convert_target::gamecube},
}};

// The usage text listing them: "ps2, d3d8, d3d9, xbox, mobile or gamecube".
inline std::string convert_target_list() {
    std::string text;
    for (size_t i = 0; i < k_convert_targets.size(); ++i)
        text += std::string(i == 0                              ? ""
                            : i + 1 == k_convert_targets.size() ? " or "
                                                                : ", ") +
                std::string(k_convert_targets[i].first);
    return text;
}

inline std::optional<convert_target> convert_target_named(std::string_view name) {
    for (const auto& [text, target] : k_convert_targets)
        if (text == name) return target;
    return std::nullopt;
}

} // namespace quillmap
