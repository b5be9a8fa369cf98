#pragma once

// The editor's one window. Texture commands and the preview live in texture_commands.cpp and
// preview.cpp.

#include "app/background_work.h"
#include "app/document_controller.h"
#include "app/main_panes.h"
#include "app/view_state.h"
#include "dictionary/ps2_txd.h"
#include "platform/settings.h"
#include "platform/ui_host.h"
#include "session/recent_files.h"
#include "views/command_table.h"
#include "views/theme.h"

#include <QDialog>
#include <QPoint>
#include <QRect>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;

class QKeyEvent;
class QMimeData;

namespace quillmap {

class external_edits;

// Messages the window accepts, relative to the first application message.
enum app_message : int {
    msg_current_texture = 100, // the texture list's selection moved
    msg_export_current = 101,  // export the current texture, as the Export button
    msg_texture_properties = 107,
};

// What start-up needs from outside: the command line and, for tests, a settings path.
struct startup_options {
    std::vector<std::string> arguments;  // arguments[0] is the executable's own path
    std::filesystem::path settings_path; // empty: the location rule of the settings file
    // Told the window before start-up can show anything (the host parents its dialogs to it).
    std::function<void(QWidget*)> window_created;
};

class CMainDialog : public QDialog {
    Q_OBJECT

  public:
    CMainDialog(ui_host& host, startup_options options, QWidget* parent = nullptr);
    ~CMainDialog() override;

    // Runs every command, whatever its source. False when the id is unknown, while a long
    // operation runs, or when the command's menu item is grayed and the source is an
    // accelerator.
    bool run_command(int id, bool from_accelerator = false);
    // The window messages of the texture list and other senders.
    void send_app_message(int message);
    // Accelerator table 118: the command of a key, 0 when none.
    static int accelerator_command(int key, Qt::KeyboardModifiers modifiers);

    // A file dropped onto the window opens as Open does; false when nothing was opened.
    bool open_dropped(const QMimeData* mime);
    // Opening a dictionary (path, offset) -> success.
    bool open_dictionary(const std::string& path, uint32_t offset);

    // ---- the document (document_controller) ----
    editor_session& session() { return document_.session(); }
    const editor_session& session() const { return document_.session(); }
    edit_history& history() { return document_.history(); }
    ps2_txd* dictionary() const { return session().dictionary(); }
    const std::string& current_path() const { return session().path(); }
    uint32_t open_offset() const { return session().offset(); }
    uint32_t restriction_mask() const { return session().restriction_mask(); }
    // Normally set only by open_dictionary; tests and conversions may set it too.
    void set_restriction_mask(uint32_t mask) { document_.session().set_restriction_mask(mask); }
    bool modified() const { return session().modified(); }
    void set_modified(bool value) { document_.session().set_modified(value); }
    // Adds a path to the recent list and rebuilds the menu.
    void add_recent(const std::string& path);
    // A long operation runs off the window's thread; until it ends no command runs.
    bool busy() const { return work_.busy(); }

    // ---- the view (view_state) ----
    view_mode alpha_mode() const { return view_.alpha; }
    quillmap::swizzle_mode swizzle_mode() const { return view_.swizzle; }
    quillmap::swizzle_mode export_swizzle(export_type type) const {
        return view_.export_swizzle(type);
    }
    bool info_shown() const { return view_.info_shown; }
    // Alpha and swizzle modes, with their menu marks and a new rendering.
    void set_alpha_mode(view_mode mode);
    void set_swizzle_mode(quillmap::swizzle_mode mode);
    // The preview's zoom in percent; -1 fits the picture to the preview.
    void set_preview_zoom(int percent);
    void set_theme(theme which);
    bool warnings_enabled() const { return warnings_enabled_; }
    const settings_file& settings() const { return settings_; }
    static constexpr int k_column_width = 222; // both side columns at first start
    // The layout rule for a client area of cx by cy pixels.
    void layout_controls(int cx, int cy);

    // ---- commands and what the window shows of them ----
    // Menu state by command id (for the texture list's pop-up and for tests).
    QAction* action(int id) const;
    bool command_enabled(int id) const;
    bool command_checked(int id) const;
    // A pop-up conversion item's state for the selected textures: enabled, and its check mark.
    bool conversion_state(int id, bool& checked);
    QString status_text(int pane) const;
    // The version display of status pane 3, as the settings name the version now.
    void update_version_display();
    void set_status_text(int pane, const QString& text);
    // The texture list: fills it and selects `index` (CTextureList::fill); the selected
    // texture, -1 for none; the textures the selection covers, in dictionary order.
    int list_fill(int index);
    int list_selected() const;
    std::vector<int> selected_textures() const;
    // Part of the preview: 1 when a texture was rendered.
    int render_preview(int index, int level = 0);
    // Texture files for a drag out of the list; empty when none could be written.
    std::vector<std::string> export_for_drag(const std::vector<int>& textures);

  protected:
    void accept() override {} // Enter never closes the window
    void reject() override {} // nor does Escape
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    using command_handler = void (CMainDialog::*)(int id);
    // The loaded-dictionary guard: false (after its message) when no dictionary is loaded.
    bool require_dictionary();
    void rebuild_recent_menu();
    // Title for no file (empty name), a file name, or "Untitled".
    void set_title(const std::string& file_name);
    void render_again();

    // ---- texture commands and preview (texture_commands.cpp, preview.cpp) ----
    // The list and information view are made by create_texture_views() as children of the
    // client area; the wrappers below are the only way the frame reaches them, so their
    // classes can change without touching it.
    void create_texture_views();
    void list_set_dictionary(ps2_txd* dictionary); // none when the window drops it
    bool list_has_dictionary() const;
    int list_first_selected() const;      // first selected item, -1 for none
    void list_set_image_mode(int mode);   // "enable_thumbs"
    void on_current_texture_changed();    // msg_current_texture
    void on_mip_level_changed(int level); // the mip-level box's selection
    // The pixel inspector: position, colour as shown, palette index, stored alpha and zoom of
    // the preview's pixel `pixel` in the message pane; nothing off the picture.
    void show_pixel_info(QPoint pixel);
    void mark_palette_index(int index);
    // Whether the preview shows the texture's level swizzled data read as unswizzled.
    bool reads_swizzled(uint32_t texture);
    // The mip strip follows the texture, its view and swizzle modes, and the chosen level.
    void update_mip_strip();
    // The palette view follows the texture; hovering a swatch marks its pixels in the preview
    // and clicking a pixel selects its swatch.
    void update_palette_view();
    void cmd_export(int id);        // 40028, 40023, 40025
    void cmd_export_button(int id); // 1015 and msg_export_current
    void cmd_export_all(int id);    // 40015
    void cmd_import(int id);        // 40006, 1014
    void cmd_replace(int id);       // 40169, 40176
    void cmd_replace_all(int id);   // Replace All from Folder
    // Adds the files off the window's thread as one edit, PNG pictures as `png` says, each
    // scaled to its size in `scale_to`; asks whether to go on after a file that fails. The
    // number of files added.
    // With `chosen`, PNG pictures are added as the choices dialog asked instead.
    int import_off_thread(const std::vector<std::string>& paths, png_add_options png,
                          const std::map<std::string, std::pair<uint32_t, uint32_t>>& scale_to = {},
                          const import_choices* chosen = nullptr);
    // Texture `texture` replaced from `picture` off the window's thread, as one edit (as
    // `chosen` says when given); false (after its message, if any) when it failed or was
    // cancelled.
    bool replace_off_thread(uint32_t texture, const std::string& picture, bool keep_alpha,
                            const import_choices* chosen = nullptr);
    // The choices dialog for importing (`replaced` none) or replacing texture `replaced` from
    // `picture`, with its live preview; `sizes` are the sizes offered for an import. None when
    // cancelled or no preview could be prepared (after its message).
    std::optional<import_choices>
    ask_import_choices(const std::string& picture, std::optional<uint32_t> replaced,
                       bool keep_alpha, const std::string& heading,
                       const std::vector<std::pair<uint32_t, uint32_t>>& sizes);
    void cmd_rename(int id);         // 40008
    void cmd_delete(int id);         // 40007
    void cmd_move(int id);           // 40021, 40022
    void cmd_change_version(int id); // 40158
    void on_texture_properties();    // msg_texture_properties
    // ---- Edit in... (main_edit_in.cpp) ----
    // The selected texture as a PNG opened in the image editor the settings name
    // ("external_editor"), or the desktop's; each save there offers to replace the texture.
    void cmd_edit_in(int id);
    void on_external_save(const QString& name, const QString& file);
    // The files of Edit in... and of drags out of the list go with the dictionary.
    void drop_temporary_files();

    // ---- editing comforts (main_editing.cpp) ----
    // After an edit, an undo or a redo: list, details, preview, commands and title follow.
    void refresh_after_edit(int select);
    // The title shows '*' after the file name while there are unsaved changes.
    void refresh_title();
    // The information panel describes the selected texture as the dictionary stands now.
    void refresh_texture_info();
    // Image files dropped on the list: added, or replacing `texture` when it is not -1.
    bool drop_images(const std::vector<std::string>& paths, int texture);

    // The menu bar, from the command table.
    void build_menus();
    void build_commands();
    // Grays and enables every item whose table row says when it applies.
    void update_command_states();
    bool rule_allows(enabled_when rule) const;
    // A text field in which a texture's name is being edited in place.
    bool is_inline_editor(const QWidget* widget) const;
    void build_status_bar();
    void fit_status_pane(int pane);
    // The status line after an export of several textures, and every failure in one message.
    void show_export_report(const export_report& report, const std::string& extension,
                            const std::filesystem::path& folder, uint64_t start);
    void build_panes();
    void restore_pane_sizes();
    void store_pane_sizes();
    void initialize();
    void discard_dictionary();
    // The unsaved-changes prompt of Open and the close request; false when the caller stops.
    bool ask_unsaved_changes();
    // Asks about unsaved changes, then for a file to open; false when either is cancelled.
    bool choose_file_to_open(const char* filter, std::string& path);
    // Saves over the open file, or to `path` as its new file; the status text says which.
    bool save_to(const std::string& path, bool record_name);
    // Asks where a dictionary goes (Save, Save As, conversion); false when nothing was chosen.
    // A file to write a dictionary to; the filter names the platform it is written for (the
    // open dictionary's when none is given).
    bool choose_dictionary_to_write(const std::string& proposed, std::string& path,
                                    const char* filter = nullptr);
    // A refused command's message; true when `bit` refuses it for the open format.
    bool refused(restriction_bits bit);

    void cmd_new(int id);
    void cmd_open(int id);
    void cmd_open_by_offset(int id);
    // ---- game archives (main_archive_commands.cpp) ----
    void cmd_open_from_archive(int id);
    // Save of a dictionary opened from an archive entry: back into the entry, which grows into
    // free sectors of the archive when it no longer fits its own.
    void save_into_entry();
    // The title name of a dictionary opened from an archive entry: "archive.img › entry.txd".
    static std::string entry_title(const archive_entry_link& link);
    void cmd_save(int id);
    void cmd_save_as(int id);
    void cmd_toggle_autoload(int id);
    void cmd_open_recent(int id);
    void cmd_convert_ps2(int id);
    // D3D9 for dictionaries stamped after RenderWare 3.5 (San Andreas), D3D8 before.
    void cmd_convert_pc(int id);
    void cmd_convert_xbox(int id);
    void cmd_convert_mobile(int id);
    void cmd_convert_gamecube(int id);
    // The conversions' way of writing: from the session's copy `from` into `out`, the textures
    // left out named in `skipped`. It runs off the window's thread.
    using dictionary_conversion = std::function<bool(
        editor_session& from, const std::filesystem::path& out, std::vector<std::string>& skipped)>;
    // Asks for the file, runs `convert` into it off the window's thread and tells what was
    // done in the status bar; a cancelled conversion writes nothing.
    void convert_dictionary(dictionary_conversion convert, const char* filter);
    void cmd_exit(int id);
    void cmd_alpha(int id);
    void cmd_swizzle(int id);
    void cmd_reload_list(int id);
    void cmd_show_more_info(int id);
    void cmd_dev_structure(int id);
    void cmd_dev_memory(int id);
    void cmd_dev_batch_log(int id);
    void cmd_about(int id);
    void cmd_nothing(int) {}
    void cmd_check_ps2_problems(int id);
    void cmd_filter_focus(int id);
    void create_editing_widgets();
    void build_editing_menus();
    void delete_textures(const std::vector<int>& textures);
    void cmd_undo(int id);
    void cmd_redo(int id);
    void cmd_zoom(int id);
    void cmd_details(int id);
    void cmd_theme(int id);
    void cmd_convert(int id);
    // Runs `work` off the window's thread on a working copy of the session (see work_) and
    // returns the copy once the work has ended; none when the user cancelled or no copy could
    // be made (after its message). The caller hands the copy back with take_worked.
    std::shared_ptr<editor_session>
    work_on_copy(const std::string& text, int total,
                 std::function<void(editor_session& copy, work_progress& progress)> work);
    // A close request: the prompt, then the stored rectangle. True when the window ends.
    bool close_request();
    void store_window_rect();

    ui_host& host_;
    // Long operations never run on the window's thread and never on the session itself: they
    // work on a copy of it (editor_session::working_copy), so the session is only ever touched
    // by this thread, and a cancelled run leaves it exactly as it was. While one runs, the
    // progress window is modal and run_command refuses, so that no edit is lost under the
    // copy that comes back.
    background_work work_{host_};
    main_panes panes_;
    // Widths of the side columns as last chosen; a narrow window shrinks them for a while only.
    int left_width_ = k_column_width;
    int info_width_ = k_column_width;
    std::map<int, QAction*> actions_;
    std::map<int, command_handler> commands_;

    settings_file settings_;
    std::vector<std::string> arguments_;
    document_controller document_;
    recent_files recent_;
    view_state view_;
    std::string drag_folder_; // where dragged-out textures are written
    external_edits* edits_ = nullptr;
    bool warnings_enabled_ = true;
    // Set while input that queued up during a long command is taken off the queue unrun.
    bool dropping_input_ = false;
    // Takes the keys and clicks queued meanwhile off the queue without running them.
    void drop_queued_input();
    bool debug_mode_ = false;
    // The stored outer rectangle, until the window manager's frame is known on the first show.
    QRect restored_outer_;
};

} // namespace quillmap
