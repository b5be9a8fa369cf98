#pragma once

#include "archive/archive_edit.h"
#include "platform/ui_host.h"
#include "views/archive_entry_dialog.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace quillmap {

// The entry dialog's buttons: extract, add, replace, delete, rename and compact entries of the
// open archive. The archive module makes each edit safe against a crash; these functions ask the
// user through `host`, run the long ones off the window's thread with a progress window, and
// say what was done.

// One button on the selected entries of `archive`, which then holds the table as it is on disk.
// The status line's text on success; none when the user cancelled or the edit failed (the
// failure was shown).
std::optional<std::string> archive_action(ui_host& host, QWidget* parent, game_archive& archive,
                                          archive_entry_action action,
                                          const std::vector<int>& entries);

// Runs `work` on a thread of its own while a progress window with Cancel shows; Cancel makes the
// next progress call answer false. The result of `work`.
bool run_with_progress(ui_host& host, const std::string& text,
                       const std::function<bool(const archive_progress&)>& work);

} // namespace quillmap
