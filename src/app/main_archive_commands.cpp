// Game archives in the window: opening a dictionary out of an archive entry, and saving it back
// into that entry. The entry table is the archive module's and the save the session's; these
// functions ask the user and show the outcome.
#include "app/main_dialog.h"

#include "app/app_messages.h"
#include "app/app_text.h"
#include "app/main_archive_edits.h"
#include "app/qt_ui_host.h"
#include "archive/game_archive.h"
#include "batch/archive_entry_kind.h"
#include "dictionary/txd_probe.h"
#include "views/archive_entry_dialog.h"

#include <QMetaObject>

#include <atomic>
#include <filesystem>
#include <memory>
#include <thread>

namespace quillmap {

namespace {
// The list's kind column: "PS2 TXD" for a dictionary, the container's name for TEX files.
QString kind_text(const entry_description& what) {
    if (what.is_dictionary())
        return what.kind == "TEX" ? "TEX" : QString::fromStdString(what.kind) + " TXD";
    if (what.kind == "other") return app_msg::entry_kind_none;
    return QString::fromStdString(what.kind); // damaged, empty, shared, outside
}

// Entries described before the dialog shows; a game's archive of 16,000 entries gets the rest
// from a thread of its own, so that its list appears at once.
constexpr size_t k_described_before_showing = 256;

std::vector<archive_entry_row> entry_rows(const game_archive& archive) {
    std::vector<archive_entry_row> rows;
    rows.reserve(archive.entries.size());
    for (size_t i = 0; i < archive.entries.size(); ++i) {
        const archive_entry& entry = archive.entries[i];
        if (i >= k_described_before_showing) {
            rows.push_back({QString::fromStdString(entry.name), entry.size, "\u2026", -1});
            continue;
        }
        const entry_description what = describe_archive_entry(archive, entry);
        rows.push_back({QString::fromStdString(entry.name), entry.size, kind_text(what),
                        what.is_dictionary() ? int(what.textures) : -1});
    }
    return rows;
}

// Describes the entries past the first ones on a thread and hands each result to the dialog
// through its event queue. Stopped and joined when dropped; results still queued then are
// ignored, so a refreshed list never receives a kind of the table before.
class entry_kind_filler {
  public:
    entry_kind_filler(game_archive archive, CArchiveEntryDialog& dialog)
        : archive_(std::move(archive)), alive_(std::make_shared<bool>(true)) {
        if (archive_.entries.size() <= k_described_before_showing) return;
        thread_ = std::thread([this, &dialog, alive = alive_] {
            for (size_t i = k_described_before_showing; i < archive_.entries.size() && !stop_;
                 ++i) {
                const entry_description what =
                    describe_archive_entry(archive_, archive_.entries[i]);
                const QString kind = kind_text(what);
                const int textures = what.is_dictionary() ? int(what.textures) : -1;
                QMetaObject::invokeMethod(
                    &dialog,
                    [&dialog, alive, i, kind, textures] {
                        if (*alive) dialog.set_entry_kind(int(i), kind, textures);
                    },
                    Qt::QueuedConnection);
            }
        });
    }
    ~entry_kind_filler() {
        *alive_ = false;
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    entry_kind_filler(const entry_kind_filler&) = delete;
    entry_kind_filler& operator=(const entry_kind_filler&) = delete;

  private:
    game_archive archive_;
    std::shared_ptr<bool> alive_; // read and cleared on the window's thread only
    std::atomic<bool> stop_{false};
    std::thread thread_;
};
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
