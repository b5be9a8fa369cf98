// The texture commands of the main window: export, import, replace, rename, delete, moves,
// the version stamp and the texture properties; and the wrappers around the texture list.
#include "app/app_messages.h"
#include "app/app_text.h"
#include "app/main_dialog.h"
#include "app/picture_control.h"
#include "app/qt_ui_host.h"
#include "dictionary/txd_probe.h"
#include "session/session_messages.h"
#include "views/export_all_dialog.h"
#include "views/one_edit_dialog.h"
#include "views/rw_select.h"
#include "views/size_choice_dialog.h"
#include "views/texture_dialog.h"
#include "views/texture_info_list.h"
#include "views/texture_list.h"

#include <QComboBox>
#include <QImageReader>

#include <bit>
#include <chrono>
#include <filesystem>
#include <map>

// Q_INIT_RESOURCE declares the resource's loader where it stands, and the loader lives outside
// the project's namespace.
static void init_kind_icon_resources() {
    Q_INIT_RESOURCE(kind_icons);
}

namespace quillmap {

namespace {
// Where Export All remembers its folder and format ("png", "bmp", "tm2", "rwsect").
const char* const k_export_section = "main";
const char* const k_export_folder_key = "export_all_folder";
const char* const k_export_format_key = "export_all_format";
// The folder a texture was last exported to, where Replace starts looking.
const char* const k_last_export_key = "last_export_folder";

uint64_t tick_ms() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

double seconds_since(uint64_t start) {
    return static_cast<double>(tick_ms() - start) / 1000.0;
}

// The extension of a chosen file as a file dialog reports it: after the name's last dot.
std::string dialog_extension(const std::string& path) {
    const std::string name = std::filesystem::path(path).filename().string();
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

// The last part of a folder's path ("edited" for /tmp/x/edited/), the path itself at a root.
std::string folder_name(const std::filesystem::path& folder) {
    const std::filesystem::path name =
        folder.has_filename() ? folder.filename() : folder.parent_path().filename();
    return name.empty() ? folder.string() : name.string();
}

std::string upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::wstring wide(const std::string& s) {
    return QString::fromLatin1(s).toStdWString();
}
std::string narrow(const std::wstring& s) {
    return QString::fromStdWString(s).toLatin1().toStdString();
}
} // namespace

CTextureList* list_of(QWidget* widget) {
    return static_cast<CTextureList*>(widget);
}

void CMainDialog::create_texture_views() {
    ::init_kind_icon_resources();
    auto* list = new CTextureList(host_, panes_.client);
    list->setObjectName("texture_list"); // control 1066
    panes_.texture_list = list;
    connect(list, &CTextureList::current_texture_changed, this,
            [this] { send_app_message(msg_current_texture); });
    connect(list, &CTextureList::texture_properties_requested, this,
            [this] { send_app_message(msg_texture_properties); });
    connect(list, &CTextureList::command_requested, this, [this](int id) { run_command(id); });
    // A rename in place went through the session, which marked the change; the title and the
    // information panel follow it.
    connect(list, &CTextureList::dictionary_modified, this, [this] {
        refresh_title();
        refresh_texture_info();
    });
    auto* info = new CTextureInfoList(panes_.client);
    info->setObjectName("texture_info"); // control 1001
    panes_.info_list = info;
}

int CMainDialog::list_fill(int index) {
    return list_of(panes_.texture_list)->fill(index);
}

void CMainDialog::list_set_dictionary(ps2_txd* dictionary) {
    list_of(panes_.texture_list)->set_dictionary(dictionary);
}

bool CMainDialog::list_has_dictionary() const {
    return list_of(panes_.texture_list)->dictionary() != nullptr;
}

int CMainDialog::list_selected() const {
    return list_of(panes_.texture_list)->selected();
}

int CMainDialog::list_first_selected() const {
    return list_of(panes_.texture_list)->first_selected();
}

void CMainDialog::list_set_image_mode(int mode) {
    list_of(panes_.texture_list)->set_picture_kind(mode);
}

namespace {
struct export_kind {
    const char* extension;
    std::optional<export_type> type; // none: the chosen file's extension decides
    const char* filter;
};

export_kind export_kind_of(int id) {
    switch (id) {
    case cmd::export_png:
        return {".png", export_type::png, app_msg::filter_png};
    case cmd::export_bmp:
        return {".bmp", export_type::bmp, app_msg::filter_bmp};
    case cmd::export_tim2:
        return {".tm2", export_type::tim2, app_msg::filter_tim2};
    case cmd::export_rwsect:
        return {".rwsect", export_type::rwsect, app_msg::filter_rwsect};
    default:
        return {".png", std::nullopt, app_msg::filter_any_export};
    }
}
} // namespace

void CMainDialog::cmd_export(int id) {
    if (!require_dictionary()) return;
    if (refused(restrict_export)) return;
    const export_kind kind = export_kind_of(id);
    CTextureList* list = list_of(panes_.texture_list);
    // The Export button names its type through the file name: it takes one texture.
    if (!kind.type || list->selectionModel()->selectedRows().size() < 2) {
        const int t = list_has_dictionary() ? list_selected() : 0;
        const uint32_t texture = static_cast<uint32_t>(t);
        file_request request;
        request.save = true;
        request.default_extension = kind.extension;
        request.initial_name = dictionary()->texture_name(
            texture, view_.alpha == view_mode::alpha ? name_kind::mask : name_kind::texture);
        request.filter = kind.filter;
        std::vector<std::string> paths;
        if (!host_.file_dialog(request, paths) || paths.empty()) return;
        const uint64_t start = tick_ms();
        std::optional<export_type> type = kind.type;
        const std::string extension = dialog_extension(paths[0]);
        if (!type) {
            type = editor_session::export_type_for(extension);
            if (!type) {
                host_.message_box(extension + session_msg::unknown_extension, "", box_buttons::ok,
                                  box_icon::none);
                return;
            }
        }
        const std::filesystem::path path(paths[0]);
        if (!session().export_texture(texture, view_.alpha, *type, &path, export_swizzle(*type))) {
            host_.message_box(session().last_error(), "", box_buttons::ok, box_icon::none);
            return;
        }
        settings_.write_string(k_export_section, k_last_export_key, path.parent_path().string());
        set_status_text(0, QString::asprintf(app_msg::exported_one,
                                             QString::fromLatin1(dictionary()->texture_name(
                                                                     texture, name_kind::texture))
                                                 .toUtf8()
                                                 .constData(),
                                             upper(extension).c_str(), seconds_since(start)));
        return;
    }

    // Several textures selected ("Export Selected"): each of them goes into the folder of the
    // chosen file, named as an export without a path names it.
    std::vector<uint32_t> textures;
    for (const QModelIndex& index : list->selectionModel()->selectedRows())
        textures.push_back(static_cast<uint32_t>(index.row()));
    std::sort(textures.begin(), textures.end());
    const export_type type = *kind.type; // set: the branch above took the Export button
    file_request request;
    request.save = true;
    request.default_extension = kind.extension;
    request.initial_name = dictionary()->default_export_name(textures.front(), view_.alpha, type);
    request.filter = kind.filter;
    std::vector<std::string> paths;
    if (!host_.file_dialog(request, paths) || paths.empty()) return;
    const uint64_t start = tick_ms();
    const std::filesystem::path folder = std::filesystem::path(paths[0]).parent_path();
    settings_.write_string(k_export_section, k_last_export_key, folder.string());
    const export_settings settings{view_.alpha, type, export_swizzle(type), 0, {}};
    export_report report;
    if (!session().export_textures(textures, folder, settings, report)) {
        host_.message_box(session().error_text(), app_msg::error, box_buttons::ok, box_icon::error);
        return;
    }
    show_export_report(report, kind.extension + 1, folder, start);
}

void CMainDialog::cmd_export_button(int id) {
    cmd_export(id);
}

void CMainDialog::cmd_export_all(int) {
    if (!require_dictionary()) return;
    if (refused(restrict_export)) return;
    const uint32_t count = dictionary()->texture_count();
    if (count == 0) return;
    // One dialog chooses the folder and the format; both are remembered for the next time.
    CExportAllDialog dialog(this);
    dialog.folder = settings_.read_string(k_export_section, k_export_folder_key);
    if (dialog.folder.empty()) {
        const auto& link = session().entry_link();
        dialog.folder =
            std::filesystem::path(link ? link->archive : session().path()).parent_path().string();
    }
    dialog.type = export_type_of_extension(
                      settings_.read_string(k_export_section, k_export_format_key, "png"))
                      .value_or(export_type::png);
    if (host_.run(dialog) != id_ok) return;
    const export_type type = dialog.type;
    // Stored and shown without the dot: "png", "bmp", "tm2", "rwsect".
    const std::string extension = export_extension(type) + 1;
    settings_.write_string(k_export_section, k_export_folder_key, dialog.folder);
    settings_.write_string(k_export_section, k_export_format_key, extension);
    settings_.write_string(k_export_section, k_last_export_key, dialog.folder);

    const std::filesystem::path folder(dialog.folder);
    const uint64_t start = tick_ms();
    std::vector<uint32_t> textures(count);
    for (uint32_t t = 0; t < count; ++t)
        textures[t] = t;
    const export_settings settings{view_.alpha, type, export_swizzle(type), 0, {}};
    // The pictures are encoded off the window's thread, from a copy of the session.
    struct export_job {
        std::optional<editor_session> copy;
        export_report report;
        bool ok = false;
    };
    auto job = std::make_shared<export_job>();
    job->copy = session().working_copy();
    if (!job->copy) {
        host_.message_box(session().error_text(), app_msg::error, box_buttons::ok, box_icon::error);
        return;
    }
    work_.run(format(app_msg::exporting_all, int(count), dialog.folder.c_str()), int(count),
              [job, textures, folder, settings](work_progress& progress) {
                  // Cancel takes effect between textures: the one being written is finished
                  // first.
                  const auto step = [&progress](uint32_t done, uint32_t, const std::string& next) {
                      return progress.step(int(done), next);
                  };
                  job->ok =
                      job->copy->export_textures(textures, folder, settings, job->report, step);
              });
    // The run has ended either way: a cancel stops it between two textures.
    if (!job->ok) {
        host_.message_box(format(app_msg::cannot_create_folder, dialog.folder.c_str()),
                          app_msg::error, box_buttons::ok, box_icon::error);
        return;
    }
    show_export_report(job->report, extension, folder, start);
}

void CMainDialog::show_export_report(const export_report& report, const std::string& extension,
                                     const std::filesystem::path& folder, uint64_t start) {
    const int exported = int(report.written.size());
    if (report.cancelled())
        set_status_text(0, path_to_qt(format(app_msg::export_cancelled, exported, int(report.asked),
                                             folder.string().c_str())));
    else
        set_status_text(0, QString::asprintf(app_msg::exported_many, exported,
                                             upper(extension).c_str(), seconds_since(start)));
    if (report.failures.empty()) return;
    // Every failure at once, at the end, instead of a question after each.
    constexpr size_t k_listed_failures = 20;
    std::string text =
        format(app_msg::export_failures, int(report.failures.size()), int(report.done));
    for (size_t i = 0; i < report.failures.size() && i < k_listed_failures; ++i)
        text += "\n" + report.failures[i].file + ": " + report.failures[i].error;
    if (report.failures.size() > k_listed_failures)
        text += "\n" + format(app_msg::export_more_failures,
                              int(report.failures.size() - k_listed_failures));
    host_.message_box(text, app_msg::error, box_buttons::ok, box_icon::warning);
}

void CMainDialog::cmd_import(int) {
    if (!require_dictionary()) return;
    if (refused(restrict_import)) return;
    file_request request;
    request.multiple = true;
    request.filter = app_msg::filter_import;
    std::vector<std::string> paths;
    if (!host_.file_dialog(request, paths) || paths.empty()) return;
    // The first PNG picture is shown in the choices dialog, which previews what it becomes and
    // offers the nearest power-of-two sizes when its sides are no powers of two; the choices
    // apply to every PNG picture, and each further one of such a size is asked its size.
    png_add_options png;
    png.swizzle = view_.swizzle != quillmap::swizzle_mode::off;
    std::map<std::string, CSizeChoiceDialog::size> scale_to;
    std::optional<import_choices> chosen;
    for (const std::string& path : paths) {
        if (editor_session::export_type_for(editor_session::import_extension(path)) !=
            export_type::png)
            continue;
        const QSize given = QImageReader(path_to_qt(path)).size();
        if (!given.isValid()) continue; // the import says why it cannot read the file
        const std::string name = std::filesystem::path(path).filename().string();
        // Sides that are no powers of two, or larger than a PS2 game takes, are asked for.
        const bool power_of_two =
            session().import_size_fits(uint32_t(given.width()), uint32_t(given.height()));
        std::vector<CSizeChoiceDialog::size> sizes;
        if (!power_of_two)
            for (const picture_size& s :
                 session().import_sizes(uint32_t(given.width()), uint32_t(given.height())))
                sizes.emplace_back(s.width, s.height);
        if (!chosen) {
            chosen = ask_import_choices(
                path, std::nullopt, false,
                name + " (" + format("%dx%d", given.width(), given.height()) + ")", sizes);
            if (!chosen) return;
            if (!power_of_two) scale_to[path] = {chosen->width, chosen->height};
            continue;
        }
        if (power_of_two) continue;
        CSizeChoiceDialog ask(name, {uint32_t(given.width()), uint32_t(given.height())}, sizes,
                              this);
        if (host_.run(ask) != id_ok) return;
        scale_to[path] = ask.chosen;
    }
    if (import_off_thread(paths, png, scale_to, chosen ? &*chosen : nullptr) == 0) return;
    // The new textures are part of the dictionary now (the session marked the change); the
    // last one added is the one shown.
    refresh_after_edit(static_cast<int>(dictionary()->texture_count()) - 1);
}

int CMainDialog::import_off_thread(
    const std::vector<std::string>& paths, png_add_options png,
    const std::map<std::string, std::pair<uint32_t, uint32_t>>& scale_to,
    const import_choices* chosen) {
    // The files are read and quantized off the window's thread, on a copy of the session; all
    // of them come back as one edit.
    auto imported = std::make_shared<int>(0);
    const quillmap::swizzle_mode swizzle = view_.swizzle;
    // Several files are counted one by one; one file is one piece.
    const int pieces = paths.size() > 1 ? int(paths.size()) : 0;
    const std::shared_ptr<editor_session> copy = work_on_copy(
        format(app_msg::importing, int(paths.size())), pieces,
        [imported, paths, scale_to, png, swizzle, pieces,
         choices = chosen ? std::optional<import_choices>(*chosen)
                          : std::nullopt](editor_session& copy, work_progress& progress) mutable {
            for (size_t i = 0; i < paths.size(); ++i) {
                const std::string& path = paths[i];
                if (pieces > 0 &&
                    !progress.step(int(i), std::filesystem::path(path).filename().string()))
                    return;
                const auto scaled = scale_to.find(path);
                png.width = scaled == scale_to.end() ? 0 : scaled->second.first;
                png.height = scaled == scale_to.end() ? 0 : scaled->second.second;
                const bool as_chosen =
                    choices && editor_session::export_type_for(
                                   editor_session::import_extension(path)) == export_type::png;
                if (as_chosen) {
                    choices->width = png.width;
                    choices->height = png.height;
                }
                if (as_chosen ? copy.import_chosen(path, swizzle, *choices)
                              : copy.import_file(path, swizzle, png)) {
                    ++*imported;
                    continue;
                }
                if (progress.ask(copy.error_text() + app_msg::continue_question, app_msg::error,
                                 box_buttons::yes_no, box_icon::warning) != id_yes)
                    break;
            }
        });
    if (!copy || *imported == 0) return 0;
    return session().take_worked(std::move(*copy), edit_kind::add) ? *imported : 0;
}

void CMainDialog::cmd_replace(int id) {
    if (!require_dictionary()) return;
    if (refused(restrict_replace)) return;
    const int t = list_has_dictionary() ? list_selected() : 0;
    const uint32_t texture = static_cast<uint32_t>(t);
    file_request request;
    request.default_extension = ".bmp";
    request.initial_name = dictionary()->texture_name(texture, name_kind::texture);
    // The folder last exported to: the edited picture is most likely there.
    if (const std::string folder = settings_.read_string(k_export_section, k_last_export_key);
        !folder.empty())
        request.initial_name = (std::filesystem::path(folder) / request.initial_name).string();
    request.filter = app_msg::filter_any_export;
    std::vector<std::string> paths;
    if (!host_.file_dialog(request, paths) || paths.empty()) return;
    const bool keep_alpha = id == cmd::replace_using_alpha;
    // A PNG picture goes in as the choices dialog asks, after its preview.
    std::optional<import_choices> chosen;
    if (editor_session::export_type_for(editor_session::import_extension(paths[0])) ==
        export_type::png) {
        const QSize given = QImageReader(path_to_qt(paths[0])).size();
        const std::string name = std::filesystem::path(paths[0]).filename().string();
        chosen = ask_import_choices(
            paths[0], texture, keep_alpha,
            given.isValid() ? name + " (" + format("%dx%d", given.width(), given.height()) + ")"
                            : name,
            {});
        if (!chosen) return;
    }
    if (!replace_off_thread(texture, paths[0], keep_alpha, chosen ? &*chosen : nullptr)) {
        render_preview(t, 0);
        return;
    }
    refresh_after_edit(t); // the tile's thumbnail shows the new pixels too
}

bool CMainDialog::replace_off_thread(uint32_t texture, const std::string& picture, bool keep_alpha,
                                     const import_choices* chosen) {
    auto ok = std::make_shared<bool>(false);
    const std::string name = dictionary()->texture_name(texture, name_kind::texture);
    const std::optional<import_choices> choices =
        chosen ? std::optional<import_choices>(*chosen) : std::nullopt;
    const std::shared_ptr<editor_session> copy = work_on_copy(
        format(app_msg::replacing, name.c_str()), 0,
        [ok, texture, picture, keep_alpha, choices](editor_session& copy, work_progress&) {
            *ok = choices ? copy.replace_chosen(texture, picture, keep_alpha, *choices)
                          : copy.replace(texture, picture, keep_alpha);
        });
    if (!copy) return false; // cancelled: nothing changed
    if (!*ok) {
        // A refused replace changed nothing, so it leaves the modified flag alone.
        host_.message_box(copy->error_text(), app_msg::error, box_buttons::ok, box_icon::error);
        return false;
    }
    return session().take_worked(std::move(*copy), edit_kind::replace, picture);
}

void CMainDialog::cmd_replace_all(int) {
    if (!require_dictionary() || refused(restrict_replace)) return;
    file_request request;
    request.folder = true;
    // Where the pictures were exported to is where the edited ones most likely are.
    request.initial_name = settings_.read_string(k_export_section, k_last_export_key);
    if (request.initial_name.empty())
        request.initial_name = settings_.read_string(k_export_section, k_export_folder_key);
    std::vector<std::string> paths;
    if (!host_.file_dialog(request, paths) || paths.empty()) return;
    auto report_of_copy = std::make_shared<std::vector<folder_replacement>>();
    auto ok = std::make_shared<bool>(false);
    const std::filesystem::path folder = paths.front();
    const std::shared_ptr<editor_session> copy =
        work_on_copy(format(app_msg::replacing_from_folder, paths.front().c_str()), 0,
                     [report_of_copy, ok, folder](editor_session& copy, work_progress&) {
                         *ok = copy.replace_all_from_folder(folder, *report_of_copy);
                     });
    if (!copy) return; // cancelled: nothing changed
    if (!*ok) {
        host_.message_box(copy->error_text(), app_msg::error, box_buttons::ok, box_icon::error);
        return;
    }
    const std::vector<folder_replacement>& report = *report_of_copy;
    int replaced = 0;
    std::string text;
    for (const folder_replacement& row : report) {
        replaced += row.replaced ? 1 : 0;
        const std::string what = row.texture.empty() ? row.file : row.texture;
        text += (row.replaced ? "Replaced " + what + " from " + row.file
                              : "Skipped " + what + ": " + row.why) +
                (row.replaced && !row.why.empty() ? " (" + row.why + ")" : "") + "\n";
    }
    const int selected = list_selected();
    if (replaced > 0) {
        session().take_worked(std::move(*copy), edit_kind::replace, folder.string());
        refresh_after_edit(selected < 0 ? 0 : selected);
    }
    const int count = int(dictionary()->texture_count());
    set_status_text(0, path_to_qt(format(app_msg::replaced_from_folder, replaced, count,
                                         paths.front().c_str())));
    // The report names the folder as the user knows it, not by the whole path to it.
    const std::string summary =
        format(app_msg::replaced_from_folder, replaced, count, folder_name(folder).c_str());
    host_.message_box(summary + "\n\n" + text, app_msg::replace_all_caption, box_buttons::ok,
                      replaced > 0 ? box_icon::information : box_icon::warning);
}

void CMainDialog::cmd_rename(int) {
    if (!require_dictionary()) return;
    const int first = list_first_selected();
    const uint32_t t = static_cast<uint32_t>(first == -1 ? 0 : first);
    COneEditDialog dialog("", "", "", this);
    dialog.value = dictionary()->texture_name(t, name_kind::texture);
    if (host_.run(dialog) != id_ok) return;
    const bool changes = dialog.value != dictionary()->texture_name(t, name_kind::texture);
    if (!session().rename(t, dialog.value, name_kind::texture)) {
        host_.message_box(session().last_error(), "", box_buttons::ok, box_icon::none);
        return;
    }
    if (!changes) return; // the same name: no edit
    // The renamed texture stays the selected one.
    refresh_after_edit(int(t));
    set_status_text(0, app_msg::renamed);
}

void CMainDialog::cmd_delete(int) {
    if (!session().is_open()) return;
    // Only textures the list shows: a selection the filter hides is never deleted.
    const std::vector<int> chosen = selected_textures();
    if (chosen.empty()) return;
    // Several selected textures go together, after one question.
    if (chosen.size() > 1) {
        delete_textures(chosen);
        return;
    }
    const uint32_t texture = static_cast<uint32_t>(chosen.front());
    const std::string question = format(
        app_msg::delete_question, dictionary()->texture_name(texture, name_kind::texture).c_str());
    if (host_.message_box(question, app_msg::delete_caption, box_buttons::yes_no,
                          box_icon::question) != id_yes)
        return;
    if (!session().remove(texture)) {
        host_.message_box(session().last_error(), app_msg::error, box_buttons::ok, box_icon::error);
        return;
    }
    set_modified(true); // the dictionary lost a texture: it must not close without a prompt
    // When the last texture went, the preview, the status and the texture commands follow.
    refresh_after_edit(0);
}

void CMainDialog::cmd_move(int id) {
    if (!require_dictionary()) return;
    const int i = list_has_dictionary() ? list_selected() : 0;
    const bool up = id == cmd::move_up;
    const uint32_t texture = static_cast<uint32_t>(i);
    const bool ok = up ? session().move_up(texture) : session().move_down(texture);
    // A move that did not happen is no edit: the modified flag stays as it was (the session
    // marks the moves it makes).
    if (!ok)
        host_.message_box(session().last_error(), app_msg::error, box_buttons::ok, box_icon::error);
    list_fill(up ? i - 1 : i + 1);
}

void CMainDialog::cmd_change_version(int) {
    if (!require_dictionary()) return;
    const uint32_t current = dictionary()->root_version();
    CRWSelect dialog(current, this);
    dialog.settings_path = settings_.path();
    if (host_.run(dialog) != id_ok) return;
    if (!session().set_version(dialog.result)) return;
    update_version_display();
}

void CMainDialog::on_texture_properties() {
    if (!session().is_open()) return;
    const int t = list_has_dictionary() ? list_selected() : 0;
    if (t < 0 || static_cast<uint32_t>(t) >= dictionary()->texture_count()) return;
    const uint32_t texture = static_cast<uint32_t>(t);
    const std::wstring name = wide(dictionary()->texture_name(texture, name_kind::texture));
    const std::wstring alpha = wide(dictionary()->texture_name(texture, name_kind::mask));
    CTextureDialog dialog(name.c_str(), alpha.c_str(), dictionary()->is_swizzled(texture) ? 1 : 0,
                          this);
    if (host_.run(dialog) != id_ok) return;
    if (dialog.name.empty()) {
        host_.message_box(session_msg::name_empty, app_msg::error, box_buttons::ok,
                          box_icon::error);
        return;
    }
    const bool renamed = session().rename(texture, narrow(dialog.name), name_kind::texture);
    const bool masked =
        renamed && session().rename(texture, narrow(dialog.alpha_name), name_kind::mask);
    // A refused name is reported rather than passed over in silence.
    if (!renamed || !masked)
        host_.message_box(session().last_error(), app_msg::error, box_buttons::ok, box_icon::error);
    refresh_after_edit(t);
}

} // namespace quillmap
