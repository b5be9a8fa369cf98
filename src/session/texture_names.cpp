#include "session/texture_names.h"

#include "dictionary/txd_messages.h"
#include "session/session_messages.h"
#include "stream/ascii_lower.h"

namespace quillmap {

std::optional<uint32_t> texture_named(ps2_txd& txd, const std::string& name,
                                      std::optional<uint32_t> except) {
    const std::string wanted = ascii_lower(name);
    const uint32_t count = txd.texture_count();
    for (uint32_t t = 0; t < count; ++t) {
        if (except && t == *except) continue;
        if (ascii_lower(txd.texture_name(t, name_kind::texture)) == wanted) return t;
    }
    return std::nullopt;
}

std::string name_refusal(ps2_txd& txd, std::optional<uint32_t> t, const std::string& name,
                         name_kind which) {
    if (name.size() > k_name_limit) return txd_msg::name_too_long;
    // Mask names may repeat: many textures share one alpha picture's name.
    if (which != name_kind::texture) return {};
    const auto other = texture_named(txd, name, t);
    if (!other) return {};
    return session_msg::name_taken_by(*other, txd.texture_name(*other, name_kind::texture));
}

} // namespace quillmap
