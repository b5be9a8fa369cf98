#include "cli/cli_commands.h"
#include "cli/cli_edit.h"

namespace quillmap {

int cmd_move(const cli_args& args) {
    if (args.positional.size() != 2 || (args.positional[1] != "up" && args.positional[1] != "down"))
        return usage_error("move takes FILE -t N up|down");
    if (!has_save_target(args)) return missing_save_target();
    const bool up = args.positional[1] == "up";
    return edit_texture(args, [up](editor_session& session, uint32_t t) {
        return up ? session.move_up(t) : session.move_down(t);
    });
}

} // namespace quillmap
