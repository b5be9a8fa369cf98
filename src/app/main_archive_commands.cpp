// Game archives in the window: opening a dictionary out of an archive entry, and saving it back
// into that entry. The entry table is the archive module's and the save the session's; these
// functions ask the user and show the outcome.
#include "app/main_dialog.h"

#include "app/app_messages.h"
#include "app/app_text.h"
#include "app/archive_entry_kinds.h"
#include "app/main_archive_edits.h"
#include "app/qt_ui_host.h"
#include "archive/game_archive.h"
#include "dictionary/txd_probe.h"
#include "views/archive_entry_dialog.h"

#include <filesystem>
#include <memory>

namespace quillmap {

std::string CMainDialog::entry_title(const archive_entry_link& link) {
    return file_name_of(link.archive) + " \u203A " + link.entry;
}

void CMainDialog::cmd_open_from_archive(int) {
    std::string path;
    if (!choose_file_to_open(app_msg::filter_archive, path)) return;
    game_archive archive;
    std::string error;
    if (!open_game_archive(path, archive, error)) {
        host_.message_box(error, app_msg::error, box_buttons::ok, box_icon::error);
        return;
    }
    CArchiveEntryDialog dialog(path_to_qt(file_name_of(path)), entry_rows(archive), this);
    auto filler = std::make_unique<entry_kind_filler>(archive, dialog);
    dialog.on_action = [&](archive_entry_action action, const std::vector<int>& entries) {
        filler.reset();
        if (const auto status = archive_action(host_, this, archive, action, entries))
            set_status_text(0, path_to_qt(*status));
        dialog.set_rows(entry_rows(archive));
        filler = std::make_unique<entry_kind_filler>(archive, dialog);
    };
    const int answer = host_.run(dialog);
    filler.reset();
    if (answer != id_ok || dialog.chosen < 0 || size_t(dialog.chosen) >= archive.entries.size())
        return;
    const archive_entry& entry = archive.entries[size_t(dialog.chosen)];
    if (entry.inside && entry.size == 0) {
        host_.message_box(format(app_msg::entry_empty, entry.name.c_str()), app_msg::error,
                          box_buttons::ok, box_icon::error);
        return;
    }
    if (!entry.inside || entry.offset > UINT32_MAX) {
        host_.message_box(format(entry.inside ? app_msg::entry_beyond_4gib : app_msg::entry_outside,
                                 entry.name.c_str()),
                          app_msg::error, box_buttons::ok, box_icon::error);
        return;
    }
    // The same open as Open By Offset: the open dictionary stays when this one fails.
    if (!open_dictionary(archive.data_path.string(), uint32_t(entry.offset))) return;
    const archive_entry_link link{archive.data_path.string(), entry.name, entry.offset, entry.size};
    session().set_entry_link(link);
    const std::string shown = entry_title(link);
    set_title(shown);
    set_status_text(0, path_to_qt(format(app_msg::loaded, shown.c_str(),
                                         static_cast<int>(dictionary()->texture_count()),
                                         dictionary()->allocated_bytes / 1024.0)));
}

void CMainDialog::save_into_entry() {
    // The session writes into the entry (growing it into free sectors when needed) and the
    // history marks the saved state; the window only shows the outcome.
    if (!session().save()) {
        host_.message_box(session().last_error(), app_msg::error, box_buttons::ok, box_icon::error);
        return;
    }
    set_status_text(0, path_to_qt(format(app_msg::saved_into_entry,
                                         entry_title(*session().entry_link()).c_str())));
}

} // namespace quillmap
