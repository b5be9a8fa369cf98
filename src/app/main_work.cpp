// Long edits of the window: run off its thread on a copy of the session.
#include "app/app_messages.h"
#include "app/main_dialog.h"

namespace quillmap {

std::shared_ptr<editor_session>
CMainDialog::work_on_copy(const std::string& text, int total,
                          std::function<void(editor_session& copy, work_progress& progress)> work) {
    std::optional<editor_session> copied = session().working_copy();
    if (!copied) {
        host_.message_box(session().last_error(), app_msg::error, box_buttons::ok, box_icon::error);
        return nullptr;
    }
    // Shared with the work, which outlives this call when it is cancelled.
    auto copy = std::make_shared<editor_session>(std::move(*copied));
    const bool finished =
        work_.run(text, total, [copy, work = std::move(work)](work_progress& progress) {
            work(*copy, progress);
        });
    return finished ? copy : nullptr;
}

} // namespace quillmap
