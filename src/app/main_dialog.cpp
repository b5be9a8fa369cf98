// The window itself: construction, start-up, the command table and keys, status panes, and the
// close request. File commands, view commands and the layout live in main_*.cpp beside it.
#include "app/main_dialog.h"

#include "app/app_messages.h"
#include "app/app_text.h"
#include "app/picture_control.h"
#include "app/qt_ui_host.h"
#include "platform/system.h"
#include "session/session_messages.h"
#include "views/mip_strip.h"
#include "views/palette_view.h"
#include "views/status_pane.h"
#include "views/texture_details.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

// Resources of a static library must be registered by hand. Q_INIT_RESOURCE declares the
// resource's loader where it stands, and the loader lives outside the project's namespace.
static void init_quillmap_resources() {
    Q_INIT_RESOURCE(quillmap);
}

namespace quillmap {

namespace {

// A command that holds the window this long has left whatever was typed meanwhile unanswered.
constexpr qint64 k_typed_ahead_ms = 150;

QRect clamped_to(QRect rect, const QRect& room) {
    if (room.isEmpty()) return rect;
    rect.setSize(rect.size().boundedTo(room.size()));
    rect.moveLeft(std::clamp(rect.left(), room.left(), room.right() + 1 - rect.width()));
    rect.moveTop(std::clamp(rect.top(), room.top(), room.bottom() + 1 - rect.height()));
    return rect;
}

bool is_text_entry(QWidget* widget) {
    return qobject_cast<QLineEdit*>(widget) || qobject_cast<QTextEdit*>(widget) ||
           qobject_cast<QPlainTextEdit*>(widget) || qobject_cast<QAbstractSpinBox*>(widget);
}

} // namespace

bool CMainDialog::is_inline_editor(const QWidget* widget) const {
    if (!is_text_entry(const_cast<QWidget*>(widget))) return false;
    for (const QWidget* w = widget; w; w = w->parentWidget())
        if (w == panes_.texture_list || w == panes_.details) return true;
    return false;
}

CMainDialog::CMainDialog(ui_host& host, startup_options options, QWidget* parent)
    : QDialog(parent), host_(host) {
    init_quillmap_resources();
    if (options.window_created) options.window_created(this);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setAcceptDrops(true);

    // The controls of dialog template 101.
    panes_.menu_bar = new QMenuBar(this);
    panes_.client = new QWidget(this);
    panes_.client->setObjectName("client");
    auto* frame = new QVBoxLayout(this);
    frame->setContentsMargins(0, 0, 0, 0);
    frame->setSpacing(0);
    frame->setMenuBar(panes_.menu_bar);
    frame->addWidget(panes_.client, 1);
    create_texture_views();
    panes_.preview = new CPictureControl(panes_.client);
    panes_.preview->setObjectName("preview");
    panes_.mip_box = new QComboBox(panes_.client);
    panes_.mip_box->setObjectName("mip_levels");
    panes_.palette = new palette_view(panes_.client);
    panes_.palette->setObjectName("palette_view");
    panes_.palette->hide(); // shown for 4- and 8-bit textures
    connect(panes_.palette, &palette_view::swatch_hovered, this,
            [this](int index) { mark_palette_index(index); });
    panes_.levels = new mip_strip(panes_.client);
    panes_.levels->setObjectName("mip_strip");
    panes_.levels->hide(); // shown for textures of more than one level
    connect(panes_.levels, &mip_strip::level_chosen, this, [this](int level) {
        panes_.mip_box->setCurrentIndex(level);
        on_mip_level_changed(level);
    });
    create_editing_widgets();
    build_panes();
    panes_.import_button = new QPushButton("Import", panes_.client);
    panes_.export_button = new QPushButton("Export", panes_.client);
    panes_.import_button->setObjectName("import_button");
    panes_.export_button->setObjectName("export_button");
    for (QPushButton* button : {panes_.import_button, panes_.export_button}) {
        button->setAutoDefault(false);
        button->hide();
    }
    panes_.import_button->setGeometry(4, 458, 90, 23);
    panes_.export_button->setGeometry(102, 458, 90, 23);
    connect(panes_.import_button, &QPushButton::clicked, this,
            [this] { run_command(cmd::import_button); });
    connect(panes_.export_button, &QPushButton::clicked, this,
            [this] { run_command(cmd::export_button); });
    connect(panes_.mip_box, &QComboBox::activated, this,
            [this](int level) { on_mip_level_changed(level); });
    panes_.client->installEventFilter(this);
    build_status_bar();
    // The smallest window still shows both columns beside a preview and every status pane in
    // full (fit_status_pane widens it for longer texts), so nothing is drawn over anything else.
    setMinimumHeight(300);
    // 567 x 310 dialog units of an 8-point dialog font.
    resize(850, 504);

    arguments_ = std::move(options.arguments);
    settings_ = settings_file(!options.settings_path.empty()
                                  ? options.settings_path
                                  : settings_path_for(executable_path(
                                        arguments_.empty() ? std::string() : arguments_[0])));
    recent_ = recent_files(settings_);
    initialize();
}

CMainDialog::~CMainDialog() {
    qApp->removeEventFilter(this);
    drop_temporary_files();
    list_set_dictionary(nullptr);
    session().close();
}

void CMainDialog::initialize() {
    setWindowIcon(QIcon(":/quillmap/quillmap.png"));
    build_menus();
    build_commands();
    build_editing_menus();
    rebuild_recent_menu();
    qApp->installEventFilter(this); // accelerator table 118
    set_alpha_mode(view_mode::texture);
    set_swizzle_mode(quillmap::swizzle_mode::as_stored);

    restore_pane_sizes();
    view_.info_shown = settings_.read_int("main", "enable_info", view_.info_shown ? 1 : 0) != 0;
    action(cmd::show_more_info)->setChecked(view_.info_shown);
    panes_.info_column->setVisible(view_.info_shown);

    set_status_text(0, app_msg::ready);
    set_status_text(1, app_msg::not_loaded);
    set_status_text(2, app_msg::swizzle_on);
    set_status_text(3, app_msg::unknown_version);

    set_title({});

    // A stored rectangle is used whenever it is one, at the screen's left edge (x = 0) too;
    // missing or inverted sides leave the window where the system puts it.
    constexpr int32_t k_unset = INT32_MIN;
    const int64_t left = settings_.read_int("main", "pos_left", k_unset);
    const int64_t right = settings_.read_int("main", "pos_right", k_unset);
    const int64_t top = settings_.read_int("main", "pos_top", k_unset);
    const int64_t bottom = settings_.read_int("main", "pos_bottom", k_unset);
    constexpr int64_t k_largest_side = 1 << 16;
    const bool stored = left != k_unset && right != k_unset && top != k_unset &&
                        bottom != k_unset && right > left && bottom > top &&
                        right - left <= k_largest_side && bottom - top <= k_largest_side;
    if (stored) {
        // A rectangle from a larger screen (or a window that grew past it) comes back inside
        // the screen, so that the status bar is never off-screen.
        QRect outer(int(left), int(top), int(right - left), int(bottom - top));
        if (const QScreen* screen = QGuiApplication::screenAt(outer.center())
                                        ? QGuiApplication::screenAt(outer.center())
                                        : QGuiApplication::primaryScreen())
            outer = clamped_to(outer, screen->availableGeometry());
        move(outer.topLeft());
        resize(outer.size());
        restored_outer_ = outer;
    }
    if (settings_.read_int("main", "maximized", 0) != 0)
        setWindowState(windowState() | Qt::WindowMaximized);

    list_set_image_mode(settings_.read_int("main", "enable_thumbs", 1));
    warnings_enabled_ = settings_.read_int("main", "enable_warnings", 1) != 0;

    if (arguments_.size() >= 2) {
        if (open_dictionary(arguments_[1], 0)) add_recent(arguments_[1]);
    } else if (recent_.autoload()) {
        action(cmd::recent_autoload)->setChecked(true);
        const std::string newest = recent_.newest();
        if (!newest.empty()) open_dictionary(newest, 0);
    } else {
        action(cmd::recent_autoload)->setChecked(false);
    }

    debug_mode_ = settings_.read_int("main", "enable_debug_mode", 0) != 0;
    if (!debug_mode_) panes_.menu_bar->removeAction(panes_.dev_menu->menuAction());
    update_command_states();
}

bool CMainDialog::rule_allows(enabled_when rule) const {
    ps2_txd* txd = session().dictionary();
    switch (rule) {
    case enabled_when::always:
    case enabled_when::own_rule:
        return true;
    case enabled_when::never:
        return false;
    case enabled_when::dictionary:
        return txd != nullptr;
    case enabled_when::textures:
        return txd && txd->texture_count() > 0;
    case enabled_when::debug_mode:
        return debug_mode_;
    case enabled_when::ps2_convert:
        return txd && txd->texture_count() > 0 && !txd->is_ps2(0);
    }
    return true;
}

void CMainDialog::update_command_states() {
    for (const command_row& row : command_table()) {
        if (row.id == 0 || row.rule == enabled_when::own_rule) continue;
        if (QAction* a = action(row.id)) a->setEnabled(rule_allows(row.rule));
    }
}

void CMainDialog::build_commands() {
    commands_ = {
        {cmd::file_new, &CMainDialog::cmd_new},
        {cmd::file_open, &CMainDialog::cmd_open},
        {cmd::file_open_by_offset, &CMainDialog::cmd_open_by_offset},
        {cmd::file_open_from_archive, &CMainDialog::cmd_open_from_archive},
        {cmd::file_save, &CMainDialog::cmd_save},
        {cmd::file_save_as, &CMainDialog::cmd_save_as},
        {cmd::recent_autoload, &CMainDialog::cmd_toggle_autoload},
        {cmd::convert_pc, &CMainDialog::cmd_convert_pc},
        {cmd::check_ps2_problems, &CMainDialog::cmd_check_ps2_problems},
        {cmd::filter_focus, &CMainDialog::cmd_filter_focus},
        {cmd::convert_ps2, &CMainDialog::cmd_convert_ps2},
        {cmd::convert_xbox, &CMainDialog::cmd_convert_xbox},
        {cmd::convert_mobile, &CMainDialog::cmd_convert_mobile},
        {cmd::convert_gamecube, &CMainDialog::cmd_convert_gamecube},
        {cmd::edit_in, &CMainDialog::cmd_edit_in},
        {cmd::file_exit, &CMainDialog::cmd_exit},
        {cmd::alpha_texture, &CMainDialog::cmd_alpha},
        {cmd::alpha_alpha, &CMainDialog::cmd_alpha},
        {cmd::alpha_mixed, &CMainDialog::cmd_alpha},
        {cmd::popup_alpha_texture, &CMainDialog::cmd_alpha},
        {cmd::popup_alpha_alpha, &CMainDialog::cmd_alpha},
        {cmd::popup_alpha_mixed, &CMainDialog::cmd_alpha},
        {cmd::alpha_next, &CMainDialog::cmd_alpha},
        {cmd::swizzle_auto, &CMainDialog::cmd_swizzle},
        {cmd::swizzle_on, &CMainDialog::cmd_swizzle},
        {cmd::swizzle_off, &CMainDialog::cmd_swizzle},
        {cmd::swizzle_next, &CMainDialog::cmd_swizzle},
        {cmd::swizzle_invert, &CMainDialog::cmd_nothing},
        {cmd::swizzle_smart, &CMainDialog::cmd_nothing},
        {cmd::brighten_alphas, &CMainDialog::cmd_nothing},
        {cmd::original_size, &CMainDialog::cmd_nothing},
        {cmd::best_fit, &CMainDialog::cmd_nothing},
        {cmd::stretch_image, &CMainDialog::cmd_nothing},
        {cmd::reload_list, &CMainDialog::cmd_reload_list},
        {cmd::show_more_info, &CMainDialog::cmd_show_more_info},
        {cmd::export_png, &CMainDialog::cmd_export},
        {cmd::export_bmp, &CMainDialog::cmd_export},
        {cmd::export_tim2, &CMainDialog::cmd_export},
        {cmd::export_rwsect, &CMainDialog::cmd_export},
        {cmd::export_button, &CMainDialog::cmd_export_button},
        {cmd::export_all, &CMainDialog::cmd_export_all},
        {cmd::import_file, &CMainDialog::cmd_import},
        {cmd::import_button, &CMainDialog::cmd_import},
        {cmd::replace, &CMainDialog::cmd_replace},
        {cmd::replace_using_alpha, &CMainDialog::cmd_replace},
        {cmd::replace_all_from_folder, &CMainDialog::cmd_replace_all},
        {cmd::replace_texture, &CMainDialog::cmd_nothing},
        {cmd::replace_alpha, &CMainDialog::cmd_nothing},
        {cmd::rename, &CMainDialog::cmd_rename},
        {cmd::remove, &CMainDialog::cmd_delete},
        {cmd::move_up, &CMainDialog::cmd_move},
        {cmd::move_down, &CMainDialog::cmd_move},
        {cmd::change_version, &CMainDialog::cmd_change_version},
        {cmd::dev_structure, &CMainDialog::cmd_dev_structure},
        {cmd::dev_memory, &CMainDialog::cmd_dev_memory},
        {cmd::dev_batch_log, &CMainDialog::cmd_dev_batch_log},
        {cmd::about, &CMainDialog::cmd_about},
    };
    for (int id : {cmd::convert_unswizzle, cmd::convert_swizzle, cmd::convert_4bpp,
                   cmd::convert_8bpp, cmd::convert_16bpp_gray, cmd::convert_32bpp})
        commands_.emplace(id, &CMainDialog::cmd_convert);
    // The last id of the conversion range has no item; the debug-filter items of the pop-up
    // menu have no action in this version.
    commands_.emplace(40154, &CMainDialog::cmd_nothing);
    for (int id = 40093; id <= 40101; ++id)
        commands_.emplace(id, &CMainDialog::cmd_nothing);
}

bool CMainDialog::run_command(int id, bool from_accelerator) {
    if (work_.busy()) return false;
    if (from_accelerator) {
        // An accelerator does nothing while its menu item is grayed or out of the menu bar, nor
        // while the rule of a command without an item says it does not apply.
        if (QAction* a = action(id); a && !command_enabled(id)) return false;
        if (const command_row* row = command_of(id); row && !action(id) && !rule_allows(row->rule))
            return false;
    }
    if (id >= cmd::recent_first && id <= cmd::recent_last) {
        cmd_open_recent(id);
        return true;
    }
    const auto found = commands_.find(id);
    if (found == commands_.end()) return false;
    QElapsedTimer took;
    took.start();
    (this->*(found->second))(id);
    if (panes_.details->isVisible() && id != cmd::details_view && session().is_open()) {
        panes_.details->fill(dictionary());
        panes_.details->set_filter(panes_.filter_box->text());
        panes_.details->select_texture(list_selected());
    }
    refresh_title();
    // Keys and clicks that came while the command held the window were aimed at a window that
    // did not answer: they are dropped rather than run now, out of their moment.
    if (took.elapsed() >= k_typed_ahead_ms) drop_queued_input();
    return true;
}

void CMainDialog::drop_queued_input() {
    if (dropping_input_) return;
    dropping_input_ = true;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    dropping_input_ = false;
}

void CMainDialog::send_app_message(int message) {
    switch (message) {
    case msg_current_texture:
        on_current_texture_changed();
        break;
    case msg_export_current:
        cmd_export_button(cmd::export_button);
        break;
    case msg_texture_properties:
        on_texture_properties();
        break;
    default:
        break;
    }
}

int CMainDialog::accelerator_command(int key, Qt::KeyboardModifiers modifiers) {
    return command_for_key(key, modifiers);
}

bool CMainDialog::eventFilter(QObject* watched, QEvent* event) {
    if (dropping_input_) {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
            if (auto* widget = qobject_cast<QWidget*>(watched); widget && widget->window() == this)
                return true;
            break;
        default:
            break;
        }
    }
    if (watched == panes_.client && event->type() == QEvent::Resize) {
        layout_controls(panes_.client->width(), panes_.client->height());
        return false;
    }
    if (event->type() != QEvent::KeyPress) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != this) return false;
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != this) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    const int id = accelerator_command(key->key(), key->modifiers());
    if (id == 0) return false;
    // While a name is being typed, plain and shifted keys belong to the text.
    if (!(key->modifiers() & Qt::ControlModifier) && is_text_entry(QApplication::focusWidget()))
        return false;
    // Undo and redo take back edits of the dictionary whatever has the focus (the filter box
    // included), except while a name is being edited in place, where they belong to the text.
    if ((id == cmd::edit_undo || id == cmd::edit_redo) &&
        is_inline_editor(QApplication::focusWidget()))
        return false;
    run_command(id, true);
    return true;
}

void CMainDialog::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        event->accept();
        return; // never closes the window
    default:
        QDialog::keyPressEvent(event);
    }
}

QAction* CMainDialog::action(int id) const {
    const auto found = actions_.find(id);
    return found == actions_.end() ? nullptr : found->second;
}

bool CMainDialog::command_enabled(int id) const {
    QAction* a = action(id);
    if (!a || !a->isEnabled()) return false;
    if (panes_.dev_menu && panes_.dev_menu->actions().contains(a))
        return panes_.menu_bar->actions().contains(panes_.dev_menu->menuAction());
    return true;
}

bool CMainDialog::command_checked(int id) const {
    QAction* a = action(id);
    return a && a->isChecked();
}

QString CMainDialog::status_text(int pane) const {
    return pane >= 0 && pane < 4 && panes_.status[pane] ? panes_.status[pane]->full_text()
                                                        : QString();
}

void CMainDialog::set_status_text(int pane, const QString& text) {
    if (pane < 0 || pane >= 4 || !panes_.status[pane]) return;
    panes_.status[pane]->set_full_text(text);
    fit_status_pane(pane);
}

void CMainDialog::set_title(const std::string& file_name) {
    document_.set_title_name(file_name);
    refresh_title();
}

bool CMainDialog::require_dictionary() {
    if (session().is_open()) return true;
    host_.message_box(session_msg::no_dictionary, app_msg::error, box_buttons::ok, box_icon::error);
    return false;
}

bool CMainDialog::refused(restriction_bits bit) {
    const char* refusal = session().refusal(bit);
    if (refusal) host_.message_box(refusal, app_msg::error, box_buttons::ok, box_icon::error);
    return refusal != nullptr;
}

void CMainDialog::cmd_exit(int) {
    close();
}

void CMainDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (restored_outer_.isNull()) return;
    // The stored rectangle includes the frame; once the frame is known, take it off the size
    // so that the window does not grow at every start.
    QTimer::singleShot(0, this, [this] {
        const QSize frame = frameGeometry().size() - geometry().size();
        if (!restored_outer_.isNull() && (frame.width() > 0 || frame.height() > 0)) {
            resize((restored_outer_.size() - frame).expandedTo(QSize(1, 1)));
            move(restored_outer_.topLeft());
        }
        restored_outer_ = QRect();
    });
}

void CMainDialog::closeEvent(QCloseEvent* event) {
    if (work_.busy()) { // the progress window's Cancel ends the work first
        event->ignore();
        return;
    }
    if (close_request()) {
        event->accept();
        QDialog::done(QDialog::Rejected);
    } else {
        event->ignore();
    }
}

bool CMainDialog::close_request() {
    bool ends = true;
    if (session().modified()) {
        const int answer = host_.message_box(app_msg::unsaved_changes, app_msg::exit_caption,
                                             box_buttons::yes_no_cancel, box_icon::warning);
        if (answer == id_cancel) {
            ends = false;
        } else if (answer == id_yes) {
            cmd_save(cmd::file_save);
            ends = !session().modified();
        }
    }
    store_window_rect();
    store_pane_sizes();
    return ends;
}

void CMainDialog::store_window_rect() {
    // A maximised window stores the rectangle it goes back to, and that it was maximised.
    const bool maximized = isMaximized();
    settings_.write_int(maximized ? 1 : 0, "main", "maximized");
    const QRect outer = maximized ? normalGeometry() : frameGeometry();
    settings_.write_int(outer.top(), "main", "pos_top");
    settings_.write_int(outer.top() + outer.height(), "main", "pos_bottom");
    settings_.write_int(outer.left(), "main", "pos_left");
    settings_.write_int(outer.left() + outer.width(), "main", "pos_right");
}

} // namespace quillmap
