#include "cli/cli_commands.h"
#include "cli/cli_edit.h"
#include "session/session_messages.h"

namespace quillmap {

int cmd_rename(const cli_args& args) {
    if (args.positional.size() != 2) return usage_error("rename takes FILE -t N NAME");
    if (!has_save_target(args)) return missing_save_target();
    const std::string& name = args.positional[1];
    // The properties dialog refuses an empty name; a texture without a name cannot be found.
    if (name.empty()) return failure(session_msg::name_empty);
    const name_kind which = args.has("--mask") ? name_kind::mask : name_kind::texture;
    return edit_texture(args, [&name, which](editor_session& session, uint32_t t) {
        return session.rename(t, name, which);
    });
}

} // namespace quillmap
