#include "cli/cli_commands.h"
#include "cli/cli_edit.h"

namespace quillmap {

int cmd_delete(const cli_args& args) {
    if (args.positional.size() > 1) return usage_error("delete takes FILE -t N");
    if (!has_save_target(args)) return missing_save_target();
    return edit_texture(args,
                        [](editor_session& session, uint32_t t) { return session.remove(t); });
}

} // namespace quillmap
