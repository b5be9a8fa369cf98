// Game archives in the window: opening a dictionary out of an archive entry, and saving it back
// into that entry. The entry table and the in-place save are the batch module's; these functions
// ask the user and show the outcome.
#include "app/main_dialog.h"

#include "app/app_messages.h"
#include "app/app_text.h"
#include "app/qt_ui_host.h"
#include "archive/game_archive.h"
#include "batch/archive_entry_kind.h"
#include "batch/archive_entry_save.h"
#include "dictionary/txd_probe.h"
#include "views/archive_entry_dialog.h"

#include <QApplication>
#include <QCursor>

#include <filesystem>

namespace {
// The list's kind column: "PS2 TXD" for a dictionary, the container's name for TEX files.
QString kind_text(const entry_description& what) {
    if (what.kind == "damaged") return QString::fromStdString(what.kind);
    if (!what.is_dictionary()) return app_msg::entry_kind_none;
    if (what.kind == "TEX") return "TEX";
    return QString::fromStdString(what.kind) + " TXD";
}

std::vector<archive_entry_row> entry_rows(const game_archive& archive) {
    // Each dictionary is opened to name its kind: only chunk headers are read, but a large
    // archive still takes a moment.
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    std::vector<archive_entry_row> rows;
    rows.reserve(archive.entries.size());
    for (const archive_entry& entry : archive.entries) {
        const entry_description what = describe_archive_entry(archive, entry);
        rows.push_back({QString::fromStdString(entry.name), entry.size, kind_text(what),
                        what.is_dictionary() ? int(what.textures) : -1});
    }
    QApplication::restoreOverrideCursor();
    return rows;
}
} // namespace

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
    if (host_.run(dialog) != id_ok || dialog.chosen < 0 ||
        size_t(dialog.chosen) >= archive.entries.size())
        return;
    const archive_entry& entry = archive.entries[size_t(dialog.chosen)];
    if (!entry.inside || entry.offset > UINT32_MAX) {
        host_.message_box(format(entry.inside ? app_msg::entry_beyond_4gib : app_msg::entry_outside,
                                 entry.name.c_str()),
                          app_msg::error, box_buttons::ok, box_icon::error);
        return;
    }
    // The same open as Open By Offset: the open dictionary stays when this one fails.
    if (!open_dictionary(archive.data_path.string(), uint32_t(entry.offset))) return;
    const archive_entry_link link{archive.data_path.string(), entry.name, entry.offset, entry.size};
    session_.set_entry_link(link);
    const std::string shown = entry_title(link);
    set_title(shown);
    set_status_text(0, path_to_qt(format(app_msg::loaded, shown.c_str(),
                                         static_cast<int>(dictionary()->texture_count()),
                                         dictionary()->allocated_bytes / 1024.0)));
}

void CMainDialog::save_into_entry() {
    const archive_entry_link link = *session_.entry_link();
    const uint64_t needed = written_size(*dictionary());
    if (needed > link.size) {
        // The bytes after the entry belong to the next one: the archive is left as it is.
        const std::string question = format(
            app_msg::entry_too_small, link.entry.c_str(), static_cast<unsigned long long>(needed),
            static_cast<unsigned long long>(link.size),
            static_cast<unsigned long long>(link.size / k_archive_sector_bytes));
        if (host_.message_box(question, app_msg::save_caption, box_buttons::yes_no,
                              box_icon::warning) == id_yes)
            cmd_save_as(cmd::file_save_as);
        return;
    }
    std::string error;
    if (!save_into_archive_entry(*dictionary(), link.archive, link.offset, link.size, error)) {
        host_.message_box(error, app_msg::error, box_buttons::ok, box_icon::error);
        return;
    }
    session_.set_modified(false);
    history_.mark_saved();
    set_status_text(0, path_to_qt(format(app_msg::saved_into_entry, entry_title(link).c_str())));
}
