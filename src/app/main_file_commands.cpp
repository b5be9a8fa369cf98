// File commands of the window: new, open (also by offset, recent or dropped), save, save as,
// the recent-files menu entries, conversion to PS2 and the version display. The session does the
// work; these functions ask the user and show the outcome.
#include "app/main_dialog.h"

#include "app/app_messages.h"
#include "app/app_text.h"
#include "app/picture_control.h"
#include "app/qt_ui_host.h"
#include "batch/archive_entry_save.h"
#include "dictionary/ps2_raster_layout.h"
#include "dictionary/txd_probe.h"
#include "platform/system.h"
#include "session/session_messages.h"
#include "views/import_choices_dialog.h"
#include "views/one_edit_dialog.h"
#include "views/rw_select.h"
#include "views/texture_details.h"
#include "views/texture_list.h"

#include <QAction>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QUrl>

#include <filesystem>

namespace quillmap {

namespace {
// RenderWare 3.5: the last library the PC games used with Direct3D 8 natives.
constexpr uint32_t k_last_d3d8_version = 0x35000;
} // namespace

void CMainDialog::discard_dictionary() {
    history().clear();
    drop_temporary_files();
    list_set_dictionary(nullptr);
    panes_.details->fill(nullptr);
    list_fill(-1);
    session().close();
    panes_.preview->clear();
    panes_.mip_box->clear();
    update_mip_strip();
    update_palette_view();
    set_title({});
    update_command_states();
}

bool CMainDialog::open_dictionary(const std::string& path, uint32_t offset) {
    // The new file is read first; the open dictionary, its list and preview stay until the new
    // one is taken, so a file that fails to open loses nothing.
    const std::string priority = settings_.read_string(
        "main", "platform_priority", k_default_platform_priority, k_priority_buffer);
    const open_status status = session().open(path, offset, priority, [this](ps2_txd& probed) {
        // Only a texture that really shows no picture is warned about.
        if (!warnings_enabled_ || !probe_unshown_texture(probed)) return true;
        return host_.message_box(app_msg::unsupported_compression, app_msg::warning_caption,
                                 box_buttons::ok_cancel, box_icon::warning) != id_cancel;
    });
    if (status != open_status::opened) {
        // The program's own text, then the file and the cause.
        if (status == open_status::unsupported)
            host_.message_box(session().last_error() + "\n" + file_name_of(path) + ": " +
                                  session().open_reason(),
                              app_msg::error, box_buttons::ok, box_icon::error);
        return false;
    }
    history().clear();
    drop_temporary_files();
    ps2_txd& txd = *session().dictionary();

    panes_.preview->clear();
    panes_.mip_box->clear();
    list_set_dictionary(&txd);
    list_fill(0);
    panes_.details->fill(&txd);
    panes_.details->set_filter(panes_.filter_box->text());

    const std::string name = file_name_of(path);
    std::string loaded =
        format(app_msg::loaded, name.c_str(), static_cast<int>(txd.texture_count()),
               txd.allocated_bytes / 1024.0);
    if (session().opened_outside_priority())
        loaded += format(app_msg::opened_outside_priority, session().platform_name());
    // Textures the count leaves out are listed all the same; the status line says so.
    if (const std::string why = txd.count_disagreement(); !why.empty()) loaded += " " + why;
    // An interrupted save finished on opening, or where its complete copy lies.
    if (!session().last_note().empty()) loaded += " " + session().last_note();
    set_status_text(0, path_to_qt(loaded));
    set_title(name);
    update_command_states();
    if (panes_.texture_list) panes_.texture_list->setFocus();
    update_version_display();
    return true;
}

void CMainDialog::update_version_display() {
    ps2_txd* txd = session().dictionary();
    if (!txd) return;
    const uint32_t version = txd->root_version();
    std::string text =
        settings_.read_string("rw_version", format("0x%08X", version), {}, k_name_buffer);
    if (text.empty()) text = format(app_msg::version_unnamed, version);
    if (txd->texture_count() >= 1) {
        const std::string platform = settings_.read_string(
            "rw_platform", format("0x%02X", txd->platform_id(0)), {}, k_name_buffer);
        if (!platform.empty()) text += " (" + platform + ")";
    }
    set_status_text(3, text_from_settings(text));
}

bool CMainDialog::ask_unsaved_changes() {
    const int answer = host_.message_box(app_msg::unsaved_changes, app_msg::open_caption,
                                         box_buttons::yes_no_cancel, box_icon::warning);
    if (answer == id_cancel) return false;
    if (answer == id_yes) {
        cmd_save(cmd::file_save);
        return !session().modified();
    }
    // No gives the changes up only once another dictionary has taken their place: an open that
    // fails or is cancelled leaves the edited one, still marked, with its history.
    return true;
}

void CMainDialog::cmd_new(int) {
    CRWSelect dialog(0x1803FFFF, this);
    dialog.settings_path = settings_.path();
    if (session().is_open() && session().modified()) {
        const int answer = host_.message_box(app_msg::close_for_new, app_msg::new_caption,
                                             box_buttons::yes_no, box_icon::question);
        if (answer != id_yes) return;
        discard_dictionary();
    }
    if (host_.run(dialog) != id_ok) return;
    list_set_dictionary(nullptr);
    if (!session().create_new(dialog.result)) {
        list_set_dictionary(session().dictionary());
        host_.message_box(session().last_error(), app_msg::error, box_buttons::ok, box_icon::error);
        return;
    }
    history().clear();
    drop_temporary_files();
    list_set_dictionary(session().dictionary());
    list_fill(0);
    panes_.details->fill(session().dictionary());
    update_command_states();
    render_preview(-1, 0);
    update_version_display();
    set_title(app_msg::untitled);
}

bool CMainDialog::choose_file_to_open(const char* filter, std::string& path) {
    // Opening replaces the dictionary, so unsaved changes are asked about first.
    if (session().is_open() && session().modified() && !ask_unsaved_changes()) return false;
    file_request request;
    request.default_extension = ".txd";
    request.initial_name = recent_.newest();
    request.filter = filter;
    std::vector<std::string> paths;
    if (!host_.file_dialog(request, paths) || paths.empty()) return false;
    path = paths.front();
    return true;
}

void CMainDialog::cmd_open(int) {
    std::string path;
    if (!choose_file_to_open(app_msg::filter_open, path)) return;
    if (open_dictionary(path, 0)) add_recent(path);
}

void CMainDialog::cmd_open_by_offset(int) {
    std::string path;
    if (!choose_file_to_open(app_msg::filter_all, path)) return;
    COneEditDialog dialog(app_msg::offset_prompt, app_msg::offset_label, app_msg::offset_initial,
                          this);
    // Cancel on the offset stops the command instead of opening at a stale offset.
    if (host_.run(dialog) != id_ok) return;
    uint32_t offset = 0;
    if (parse_hex(dialog.value, offset)) session().set_offset(offset);
    open_dictionary(path, session().offset());
}

bool CMainDialog::save_to(const std::string& path, bool record_name) {
    if (!(record_name ? session().save_as(path) : session().save())) {
        // A dictionary that outgrew its place inside a larger file can still go to a file of
        // its own; the larger file was not touched.
        if (session().save_needs_new_file()) {
            if (host_.message_box(session().last_error() + app_msg::offer_save_as,
                                  app_msg::save_caption, box_buttons::yes_no,
                                  box_icon::warning) == id_yes)
                cmd_save_as(cmd::file_save_as);
            return false;
        }
        host_.message_box(session().last_error(), app_msg::error, box_buttons::ok, box_icon::error);
        return false;
    }
    history().mark_saved();
    refresh_texture_info(); // the addresses are those of the file as written
    if (record_name) {
        set_title(file_name_of(path));
        set_status_text(0, path_to_qt(file_name_of(path) + app_msg::saved_as));
    } else {
        set_status_text(0, path_to_qt(format(app_msg::saved, path.c_str())));
    }
    return true;
}

void CMainDialog::cmd_save(int) {
    if (!require_dictionary() || refused(restrict_save)) return;
    if (session().entry_link()) {
        save_into_entry();
        return;
    }
    if (!session().path().empty()) {
        save_to(session().path(), false);
        return;
    }
    std::string path;
    if (choose_dictionary_to_write("", path)) save_to(path, true);
}

void CMainDialog::cmd_save_as(int) {
    if (!require_dictionary() || refused(restrict_save_as)) return;
    // A dictionary from an archive is proposed under its entry's name beside the archive.
    const auto& link = session().entry_link();
    const std::string proposed =
        link ? (std::filesystem::path(link->archive).parent_path() / link->entry).string()
             : session().path();
    std::string path;
    if (choose_dictionary_to_write(proposed, path)) save_to(path, true);
}

namespace {
// The Save dialog's filter for a dictionary of the named platform.
const char* dictionary_filter(std::string_view platform) {
    if (platform == "PC") return app_msg::filter_pc_txd;
    if (platform == "XBOX") return app_msg::filter_xbox_txd;
    if (platform == "iOS") return app_msg::filter_mobile_txd;
    if (platform == "GameCube") return app_msg::filter_gc_txd;
    return app_msg::filter_txd;
}
} // namespace

bool CMainDialog::choose_dictionary_to_write(const std::string& proposed, std::string& path,
                                             const char* filter) {
    file_request request;
    request.save = true;
    request.default_extension = ".txd";
    request.initial_name = proposed;
    request.filter = filter                ? filter
                     : session().is_open() ? dictionary_filter(session().platform_name())
                                           : app_msg::filter_txd;
    std::vector<std::string> paths;
    // A dialog that answers OK without a name writes nothing.
    if (!host_.file_dialog(request, paths) || paths.empty()) return false;
    path = paths.front();
    return true;
}

void CMainDialog::add_recent(const std::string& path) {
    recent_.add(path);
    rebuild_recent_menu();
}

void CMainDialog::cmd_open_recent(int id) {
    const int n = id - cmd::recent_first;
    const std::string path = recent_.at(n);
    if (path.empty()) return;
    // Opening replaces the dictionary, so unsaved changes are asked about first.
    if (session().is_open() && session().modified() && !ask_unsaved_changes()) return;
    open_dictionary(path, 0);
}

void CMainDialog::cmd_toggle_autoload(int) {
    const bool was_on = recent_.autoload();
    recent_.set_autoload(!was_on);
    action(cmd::recent_autoload)->setChecked(!was_on);
}

void CMainDialog::cmd_convert_ps2(int) {
    if (!session().is_open()) return;
    // Textures of other platforms are rebuilt: asked for depth and mip levels as an import is,
    // each keeping its own unless asked otherwise. PS2 textures go over as they are.
    ps2_convert_choices choices;
    if (dictionary()->family() != txd_family::ps2) {
        CImportChoicesDialog dialog(CImportChoicesDialog::purpose::convert, this);
        dialog.formats = {"", "4", "8", "32"};
        dialog.dithering_formats = {"4", "8"};
        dialog.choices.format = "";
        dialog.choices.mips = -1;
        if (host_.run(dialog) != id_ok) return;
        choices.depth = uint32_t(std::stoi("0" + dialog.choices.format));
        if (dialog.choices.mips >= 0) choices.mips = uint32_t(dialog.choices.mips);
        choices.dither = dialog.choices.dither;
    }
    convert_dictionary(
        [choices](editor_session& from, const std::filesystem::path& out,
                  std::vector<std::string>& skipped) {
            return from.convert_to_ps2(out, skipped, choices);
        },
        app_msg::filter_txd);
}

void CMainDialog::cmd_convert_pc(int) {
    if (!session().is_open()) return;
    pc_convert_options options;
    options.layout = rw_library_version(dictionary()->root_version()) > k_last_d3d8_version
                         ? pc_layout::d3d9
                         : pc_layout::d3d8;
    convert_dictionary(
        [options](editor_session& from, const std::filesystem::path& out,
                  std::vector<std::string>& skipped) {
            std::vector<std::string> notes;
            return from.convert_to_pc(out, options, skipped, notes);
        },
        app_msg::filter_pc_txd);
}

void CMainDialog::cmd_convert_xbox(int) {
    pc_convert_options options;
    options.layout = pc_layout::xbox;
    convert_dictionary(
        [options](editor_session& from, const std::filesystem::path& out,
                  std::vector<std::string>& skipped) {
            std::vector<std::string> notes;
            return from.convert_to_pc(out, options, skipped, notes);
        },
        app_msg::filter_xbox_txd);
}

// Each texture keeps its level count; the format follows its alpha, as `convert --to mobile`.
void CMainDialog::cmd_convert_mobile(int) {
    convert_dictionary(
        [](editor_session& from, const std::filesystem::path& out,
           std::vector<std::string>& skipped) {
            std::vector<std::string> notes;
            return from.convert_to_mobile(out, mobile_convert_options{}, skipped, notes);
        },
        app_msg::filter_mobile_txd);
}

// Each texture as the nearest kind real GameCube files hold, as `convert --to gamecube`.
void CMainDialog::cmd_convert_gamecube(int) {
    convert_dictionary(
        [](editor_session& from, const std::filesystem::path& out,
           std::vector<std::string>& skipped) {
            std::vector<std::string> notes;
            return from.convert_to_gamecube(out, gc_convert_options{}, skipped, notes);
        },
        app_msg::filter_gc_txd);
}

namespace {
// A conversion running on a copy of the session: what it reads, what it wrote.
struct conversion_job {
    std::optional<editor_session> copy;
    std::filesystem::path part; // written first; renamed over the chosen file when done
    std::vector<std::string> skipped;
    bool ok = false;
};
} // namespace

void CMainDialog::convert_dictionary(dictionary_conversion convert, const char* filter) {
    if (!session().is_open()) return;
    std::string chosen;
    if (!choose_dictionary_to_write("", chosen, filter)) return;
    const std::filesystem::path out(chosen);
    auto job = std::make_shared<conversion_job>();
    job->copy = session().working_copy();
    if (!job->copy) {
        host_.message_box(session().last_error(), app_msg::error, box_buttons::ok, box_icon::error);
        return;
    }
    // The converted dictionary goes into a file beside the chosen one, which takes its name
    // only when the conversion ends: a cancelled one leaves the chosen file as it was.
    job->part = out;
    job->part += ".part";
    const QString before = status_text(0);
    set_status_text(0, app_msg::please_wait);
    const bool finished = work_.run(
        format(app_msg::converting_dictionary, out.filename().string().c_str()), 0,
        [job, convert = std::move(convert)](work_progress&) {
            job->ok = convert(*job->copy, job->part, job->skipped);
        },
        [part = job->part] {
            std::error_code ignored;
            std::filesystem::remove(part, ignored);
        });
    std::error_code ec;
    if (finished && job->ok) std::filesystem::rename(job->part, out, ec);
    if (!finished || !job->ok || ec) {
        set_status_text(0, before);
        if (!finished) return; // cancelled: nothing was written
        std::filesystem::remove(job->part, ec);
        // A write that failed is reported, never passed off as done.
        host_.message_box(job->ok ? ec.message() : job->copy->error_text(), app_msg::error,
                          box_buttons::ok, box_icon::error);
        return;
    }
    // What was done: how many textures went over, and the sizes of the two files.
    // A dictionary from an archive entry is measured by itself, not by the whole archive.
    const auto source_bytes = session().entry_link()
                                  ? written_size(*dictionary())
                                  : std::filesystem::file_size(session().path(), ec);
    const double before_kb = ec ? dictionary()->allocated_bytes / 1024.0 : source_bytes / 1024.0;
    const auto out_bytes = std::filesystem::file_size(out, ec);
    const int converted =
        static_cast<int>(dictionary()->texture_count()) - static_cast<int>(job->skipped.size());
    QString done =
        QString::asprintf(app_msg::converted, converted, before_kb, ec ? 0.0 : out_bytes / 1024.0);
    // Textures scaled to sizes the game takes are named.
    if (!job->copy->last_note().empty())
        done += " " + QString::fromStdString(job->copy->last_note());
    set_status_text(0, done);
}

void CMainDialog::dragEnterEvent(QDragEnterEvent* event) {
    // Tiles dragged out of the list and let go over the window are not files to open.
    if (is_own_texture_drag(event->mimeData())) {
        event->ignore();
        return;
    }
    if (event->mimeData()->hasUrls()) {
        for (const QUrl& url : event->mimeData()->urls()) {
            if (url.isLocalFile()) {
                event->acceptProposedAction();
                return;
            }
        }
    }
}

void CMainDialog::dropEvent(QDropEvent* event) {
    if (!event->mimeData()->hasUrls() || is_own_texture_drag(event->mimeData())) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    open_dropped(event->mimeData());
}

bool CMainDialog::open_dropped(const QMimeData* mime) {
    if (is_own_texture_drag(mime)) return false;
    for (const QUrl& url : mime->urls()) {
        if (!url.isLocalFile()) continue;
        const std::string path = path_from_qt(url.toLocalFile());
        if (session().is_open() && session().modified() && !ask_unsaved_changes()) return false;
        if (!open_dictionary(path, 0)) return false;
        add_recent(path);
        return true;
    }
    return false;
}

} // namespace quillmap
