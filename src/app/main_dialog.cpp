#include "app/main_dialog.h"

#include "app/picture_control.h"
#include "app/qt_ui_host.h"
#include "dictionary/convert_ps2.h"
#include "dictionary/txd_probe.h"
#include "platform/system.h"
#include "views/about_dialog.h"
#include "views/one_edit_dialog.h"
#include "views/rw_select.h"
#include "views/rw_tree_dialog.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTextEdit>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <fstream>

// Resources of a static library must be registered by hand.
static void init_quillmap_resources() {
    Q_INIT_RESOURCE(quillmap);
}

namespace {

const char* const k_unsaved_text =
    "You have unsaved changes in the TXD.\n\nDo you want to save the changes?";
const char* const k_saving_disabled = "File saving is disabled for this file format.";
const char* const k_txd_filter = "PlayStation2 TXD (*.txd)|*.txd|";
const char* const k_open_filter = "PlayStation2 TXD (*.txd)|*.txd|PlayStation2 / PSP TEX (*.tex; "
                                  "*.xtx; *.chk)|*.tex; *.xtx; *.chk|";

// String resources.
const char* const k_str_ready = "Quillmap is ready to win";     // 1
const char* const k_str_swizzle_on = "Swizzling is ON";         // 2
const char* const k_str_not_loaded = "Texture not loaded.";     // 3
const char* const k_str_unknown_version = "Unknown RW Version"; // 4
const char* const k_str_error = "Error";                        // 5

// The enable list of the texture commands.
constexpr int k_texture_commands[] = {cmd::move_up,     cmd::move_down,     cmd::remove,
                                      cmd::rename,      cmd::import_file,   cmd::export_bmp,
                                      cmd::export_tim2, cmd::export_rwsect, cmd::export_all};

// The file name part of a path (after the last separator).
std::string file_name_of(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string format(const char* pattern, auto... values) {
    char buffer[1024];
    const int n = std::snprintf(buffer, sizeof buffer, pattern, values...);
    return n < 0 ? std::string() : std::string(buffer, std::min<size_t>(n, sizeof buffer - 1));
}

std::string recent_key(int n) {
    return format("recent_%02d", n);
}

// Menu texts may hold '&' of their own (a path), which must not become a mnemonic.
QString menu_text_for_path(const std::string& path) {
    return path_to_qt(path).replace('&', "&&");
}

bool is_text_entry(QWidget* widget) {
    return qobject_cast<QLineEdit*>(widget) || qobject_cast<QTextEdit*>(widget) ||
           qobject_cast<QPlainTextEdit*>(widget) || qobject_cast<QAbstractSpinBox*>(widget);
}

} // namespace

CMainDialog::CMainDialog(ui_host& host, startup_options options, QWidget* parent)
    : QDialog(parent), host_(host) {
    init_quillmap_resources();
    if (auto* qt_host = dynamic_cast<qt_ui_host*>(&host_); qt_host && !qt_host->parent)
        qt_host->parent = this;
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setAcceptDrops(true);

    // The controls of dialog template 101.
    menu_bar_ = new QMenuBar(this);
    client_ = new QWidget(this);
    auto* frame = new QVBoxLayout(this);
    frame->setContentsMargins(0, 0, 0, 0);
    frame->setSpacing(0);
    frame->setMenuBar(menu_bar_);
    frame->addWidget(client_, 1);
    create_texture_views();
    preview_ = new CPictureControl(client_);
    mip_box_ = new QComboBox(client_);
    import_button_ = new QPushButton("Import", client_);
    export_button_ = new QPushButton("Export", client_);
    for (QPushButton* button : {import_button_, export_button_}) {
        button->setAutoDefault(false);
        button->hide();
    }
    import_button_->setGeometry(4, 458, 90, 23);
    export_button_->setGeometry(102, 458, 90, 23);
    connect(import_button_, &QPushButton::clicked, this,
            [this] { run_command(cmd::import_button); });
    connect(export_button_, &QPushButton::clicked, this,
            [this] { run_command(cmd::export_button); });
    connect(mip_box_, &QComboBox::activated, this,
            [this](int level) { on_mip_level_changed(level); });
    client_->installEventFilter(this);
    build_status_bar();
    // 567 x 310 dialog units of an 8-point dialog font.
    resize(850, 504);

    arguments_ = std::move(options.arguments);
    settings_ = settings_file(!options.settings_path.empty()
                                  ? options.settings_path
                                  : settings_path_for(executable_path(
                                        arguments_.empty() ? std::string() : arguments_[0])));
    initialize();
}

CMainDialog::~CMainDialog() {
    qApp->removeEventFilter(this);
    list_set_dictionary(nullptr);
    txd_.reset();
}

void CMainDialog::initialize() {
    setWindowIcon(QIcon(":/quillmap/quillmap.png"));
    build_menus();
    build_commands();
    rebuild_recent_menu();
    qApp->installEventFilter(this); // accelerator table 118
    set_alpha_mode(0);
    set_swizzle_mode(-1);

    info_shown_ = settings_.read_int("main", "enable_info", info_shown_ ? 1 : 0) != 0;
    action(cmd::show_more_info)->setChecked(info_shown_);
    if (info_list_) info_list_->setVisible(info_shown_);

    panes_[0]->setText(k_str_ready);
    panes_[1]->setText(k_str_not_loaded);
    panes_[2]->setText(k_str_swizzle_on);
    panes_[3]->setText(k_str_unknown_version);

    set_title({});
    enable_texture_commands(false);

    const int left = settings_.read_int("main", "pos_left", 0);
    if (left != 0) {
        const int right = settings_.read_int("main", "pos_right", 0);
        const int top = settings_.read_int("main", "pos_top", 0);
        const int bottom = settings_.read_int("main", "pos_bottom", 0);
        move(left, top);
        resize(std::max(1, right - left), std::max(1, bottom - top));
        restored_outer_ = QRect(left, top, std::max(1, right - left), std::max(1, bottom - top));
    }

    list_set_image_mode(settings_.read_int("main", "enable_thumbs", 1));
    warnings_enabled_ = settings_.read_int("main", "enable_warnings", 1) != 0;

    if (arguments_.size() >= 2) {
        if (open_dictionary(arguments_[1], 0)) add_recent(arguments_[1]);
    } else if (settings_.read_int("main", "recent_autoload", 0) != 0) {
        action(cmd::recent_autoload)->setChecked(true);
        const std::string newest = settings_.read_string("recent_files", "recent_00");
        if (!newest.empty()) open_dictionary(newest, 0);
    } else {
        action(cmd::recent_autoload)->setChecked(false);
    }

    if (settings_.read_int("main", "enable_debug_mode", 0) == 0) {
        menu_bar_->removeAction(dev_menu_->menuAction());
        action(cmd::file_open_by_offset)->setEnabled(false);
    }
}

void CMainDialog::build_status_bar() {
    status_bar_ = new QStatusBar(client_);
    status_bar_->setSizeGripEnabled(true);
    static constexpr int widths[4] = {0, 130, 140, 130};
    for (int i = 0; i < 4; ++i) {
        panes_[i] = new QLabel(status_bar_);
        if (i == 0) {
            status_bar_->addWidget(panes_[i], 1);
        } else {
            panes_[i]->setFixedWidth(widths[i]);
            status_bar_->addPermanentWidget(panes_[i]);
        }
    }
}

void CMainDialog::build_menus() {
    const auto add = [this](QMenu* menu, int id, const char* text) {
        QAction* a = menu->addAction(QString::fromUtf8(text));
        a->setData(id);
        actions_[id] = a;
        connect(a, &QAction::triggered, this, [this, id] { run_command(id); });
        return a;
    };

    file_menu_ = menu_bar_->addMenu("&File");
    add(file_menu_, cmd::file_new, "&New\tCtrl+N");
    add(file_menu_, cmd::file_open, "&Open...\tCtrl+O");
    add(file_menu_, cmd::file_open_by_offset, "Open By Offse&t...");
    add(file_menu_, cmd::file_save, "&Save\tCtrl+S");
    add(file_menu_, cmd::file_save_as, "Save &As...");
    file_menu_->addSeparator();
    recent_menu_ = file_menu_->addMenu("Recent Files"); // position 6
    add(recent_menu_, cmd::recent_autoload, "Load Recent File On Startup")->setCheckable(true);
    recent_menu_->addSeparator();
    add(recent_menu_, cmd::recent_placeholder, "(no recent files)")->setEnabled(false);
    QMenu* convert = file_menu_->addMenu("&Convert TXD to");
    add(convert, cmd::convert_pc, "PC Version");
    add(convert, cmd::convert_ps2, "PS2 Version");
    file_menu_->addSeparator();
    add(file_menu_, cmd::file_exit, "E&xit\tAlt+F4");

    QMenu* view = menu_bar_->addMenu("&View");
    for (int id : {cmd::alpha_texture, cmd::alpha_alpha, cmd::alpha_mixed}) {
        const char* text = id == cmd::alpha_texture ? "Texture\tCtrl+1"
                           : id == cmd::alpha_alpha ? "Alpha\tCtrl+2"
                                                    : "Texture+Alpha\tCtrl+3";
        add(view, id, text)->setCheckable(true);
    }
    view->addSeparator();
    QMenu* swizzling = view->addMenu("&Swizzling");
    QAction* autos = add(swizzling, cmd::swizzle_auto, "Auto\tShift+1");
    add(swizzling, cmd::swizzle_on, "Always ON\tShift+2");
    add(swizzling, cmd::swizzle_off, "Always OFF\tShift+3");
    add(swizzling, cmd::swizzle_invert, "Invert\tShift+4")->setEnabled(false);
    swizzling->addSeparator();
    add(swizzling, cmd::swizzle_smart, "SmartSwizzling\tShift+7")->setEnabled(false);
    for (int id : {cmd::swizzle_auto, cmd::swizzle_on, cmd::swizzle_off, cmd::swizzle_invert,
                   cmd::swizzle_smart})
        actions_[id]->setCheckable(true);
    swizzling->setDefaultAction(autos); // shown in bold
    QAction* brighten = add(view, cmd::brighten_alphas, "&Brighten Alphas\tCtrl+Shift+B");
    brighten->setCheckable(true);
    brighten->setChecked(true);
    view->addSeparator();
    QAction* original = add(view, cmd::original_size, "Original &Size");
    original->setCheckable(true);
    original->setChecked(true);
    add(view, cmd::best_fit, "Best &Fit")->setEnabled(false);
    add(view, cmd::stretch_image, "S&tretch Image");
    view->addSeparator();
    add(view, cmd::reload_list, "Reload List\tF5");
    add(view, cmd::show_more_info, "Show More &Info\tCtrl+I")->setCheckable(true);

    QMenu* texture = menu_bar_->addMenu("&Texture");
    QMenu* exports = texture->addMenu("&Export");
    add(exports, cmd::export_bmp, "Windows Bitmap\t.bmp");
    add(exports, cmd::export_tim2, "PlayStation 2 TIM2\t.tm2");
    add(exports, cmd::export_rwsect, "RenderWare section \t.rwsect");
    add(texture, cmd::export_all, "Export &All...");
    add(texture, cmd::import_file, "&Import...");
    QMenu* replaces = texture->addMenu("&Replace");
    add(replaces, cmd::replace, "Replace...");
    add(replaces, cmd::replace_using_alpha, "Replace Using Alpha...");
    replaces->addSeparator();
    add(replaces, cmd::replace_texture, "Replace Texture...");
    add(replaces, cmd::replace_alpha, "Replace Alpha...");
    texture->addSeparator();
    add(texture, cmd::rename, "Re&name");
    add(texture, cmd::remove, "&Delete\tDel");
    add(texture, cmd::move_up, "Move Up");
    add(texture, cmd::move_down, "Move Down");
    texture->addSeparator();
    add(texture, cmd::change_version, "&Change RW Version...");

    dev_menu_ = menu_bar_->addMenu("DEV"); // the fourth top-level menu
    add(dev_menu_, cmd::dev_structure, "Show RW structure");
    add(dev_menu_, cmd::dev_memory, "RW Tree Memory Test");
    add(dev_menu_, cmd::dev_batch_log, "MainDialog::MenuDEVTest02( void )\tDEV");

    QMenu* help = menu_bar_->addMenu("&Help");
    add(help, cmd::about, "&About...");
}

void CMainDialog::build_commands() {
    commands_ = {
        {cmd::file_new, &CMainDialog::cmd_new},
        {cmd::file_open, &CMainDialog::cmd_open},
        {cmd::file_open_by_offset, &CMainDialog::cmd_open_by_offset},
        {cmd::file_save, &CMainDialog::cmd_save},
        {cmd::file_save_as, &CMainDialog::cmd_save_as},
        {cmd::recent_autoload, &CMainDialog::cmd_toggle_autoload},
        {cmd::convert_pc, &CMainDialog::cmd_nothing},
        {cmd::convert_ps2, &CMainDialog::cmd_convert_ps2},
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
        {cmd::export_bmp, &CMainDialog::cmd_export},
        {cmd::export_tim2, &CMainDialog::cmd_export},
        {cmd::export_rwsect, &CMainDialog::cmd_export},
        {cmd::export_button, &CMainDialog::cmd_export_button},
        {cmd::export_all, &CMainDialog::cmd_export_all},
        {cmd::import_file, &CMainDialog::cmd_import},
        {cmd::import_button, &CMainDialog::cmd_import},
        {cmd::replace, &CMainDialog::cmd_replace},
        {cmd::replace_using_alpha, &CMainDialog::cmd_replace},
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
    // The conversion and debug-filter items of the pop-up menu have no action in this version.
    for (int id = 40148; id <= 40154; ++id)
        commands_.emplace(id, &CMainDialog::cmd_nothing);
    for (int id = 40093; id <= 40101; ++id)
        commands_.emplace(id, &CMainDialog::cmd_nothing);
}

bool CMainDialog::run_command(int id, bool from_accelerator) {
    if (from_accelerator) {
        // An accelerator does nothing while its menu item is grayed or out of the menu bar.
        if (QAction* a = action(id); a && !command_enabled(id)) return false;
    }
    if (id >= cmd::recent_first && id <= cmd::recent_last) {
        cmd_open_recent(id);
        return true;
    }
    const auto found = commands_.find(id);
    if (found == commands_.end()) return false;
    (this->*(found->second))(id);
    return true;
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
    const auto mods = modifiers & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    const bool ctrl = mods == Qt::ControlModifier;
    const bool shift = mods == Qt::ShiftModifier;
    const bool ctrl_shift = mods == (Qt::ControlModifier | Qt::ShiftModifier);
    const bool none = mods == Qt::NoModifier;
    if (ctrl) {
        switch (key) {
        case Qt::Key_N:
            return cmd::file_new;
        case Qt::Key_O:
            return cmd::file_open;
        case Qt::Key_S:
            return cmd::file_save;
        case Qt::Key_1:
            return cmd::alpha_texture;
        case Qt::Key_2:
            return cmd::alpha_alpha;
        case Qt::Key_3:
            return cmd::alpha_mixed;
        case Qt::Key_I:
            return cmd::show_more_info;
        default:
            return 0;
        }
    }
    if (shift) {
        // Shift+digit arrives as the digit or as its shifted sign, depending on the layout.
        switch (key) {
        case Qt::Key_1:
        case Qt::Key_Exclam:
            return cmd::swizzle_auto;
        case Qt::Key_2:
        case Qt::Key_At:
            return cmd::swizzle_on;
        case Qt::Key_3:
        case Qt::Key_NumberSign:
            return cmd::swizzle_off;
        case Qt::Key_4:
        case Qt::Key_Dollar:
            return cmd::swizzle_invert;
        default:
            return 0;
        }
    }
    if (ctrl_shift) {
        if (key == Qt::Key_S) return cmd::swizzle_next;
        if (key == Qt::Key_A) return cmd::alpha_next;
        return 0;
    }
    if (none) {
        if (key == Qt::Key_Delete) return cmd::remove;
        if (key == Qt::Key_F5) return cmd::reload_list;
    }
    return 0;
}

bool CMainDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == client_ && event->type() == QEvent::Resize) {
        layout_controls(client_->width(), client_->height());
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
    if (dev_menu_ && dev_menu_->actions().contains(a))
        return menu_bar_->actions().contains(dev_menu_->menuAction());
    return true;
}

bool CMainDialog::command_checked(int id) const {
    QAction* a = action(id);
    return a && a->isChecked();
}

QString CMainDialog::status_text(int pane) const {
    return pane >= 0 && pane < 4 && panes_[pane] ? panes_[pane]->text() : QString();
}

void CMainDialog::set_status_text(int pane, const QString& text) {
    if (pane >= 0 && pane < 4 && panes_[pane]) panes_[pane]->setText(text);
}

void CMainDialog::set_title(const std::string& file_name) {
    if (file_name.empty()) {
        setWindowTitle(QString::fromStdString(format("Quillmap v0.21 build %d", build_number())));
    } else {
        setWindowTitle(path_to_qt(file_name) + " - Quillmap " + k_version_text);
    }
}

void CMainDialog::enable_texture_commands(bool enable) {
    for (int id : k_texture_commands)
        action(id)->setEnabled(enable);
}

bool CMainDialog::require_dictionary() {
    if (txd_) return true;
    host_.message_box("TXD file is NOT loaded!", k_str_error, box_buttons::ok, box_icon::error);
    return false;
}

void CMainDialog::discard_dictionary() {
    list_set_dictionary(nullptr);
    list_fill(-1);
    txd_.reset();
    preview_->clear();
    mip_box_->clear();
    restriction_mask_ = 0;
    modified_ = false;
    current_path_.clear();
    set_title({});
    enable_texture_commands(false);
}

bool CMainDialog::open_dictionary(const std::string& path, uint32_t offset) {
    restriction_mask_ |= restrict_opening;
    if (txd_) {
        list_set_dictionary(nullptr);
        list_fill(-1);
        txd_.reset();
    }
    preview_->clear();
    mip_box_->clear();
    current_path_ = path;
    const std::string priority = settings_.read_string(
        "main", "platform_priority", k_default_platform_priority, k_priority_buffer);
    probe_result probe = probe_dictionary(path, offset, priority);
    if (!probe.dictionary) {
        // The window is empty now: no half-open state may keep rendering switched off.
        restriction_mask_ = 0;
        set_title({});
        enable_texture_commands(false);
        // The program's own text, then the file and the cause.
        const std::string name = path.substr(path.find_last_of("\\/") + 1);
        host_.message_box("Unsupported TXD file type.\n" + name + ": " + probe.reason, k_str_error,
                          box_buttons::ok, box_icon::error);
        return false;
    }
    restriction_mask_ = probe.restriction_mask | restrict_opening;
    const bool pc_test = probe_pc_test(*probe.dictionary);
    const bool mobile_test = probe_mobile_test(*probe.dictionary);
    if (warnings_enabled_ && (pc_test || mobile_test)) {
        const int answer =
            host_.message_box("Unsupported compression: \r\n Some textures will not be rendered.",
                              "Warning!", box_buttons::ok_cancel, box_icon::warning);
        if (answer == id_cancel) {
            // The refused object is destroyed; the window is left without a dictionary.
            restriction_mask_ = 0;
            set_title({});
            enable_texture_commands(false);
            return false;
        }
    }
    txd_ = std::move(probe.dictionary);
    action(cmd::convert_ps2)->setEnabled(!(txd_->texture_count() == 0 || txd_->is_ps2(0)));
    action(cmd::convert_pc)->setEnabled(!pc_test);

    restriction_mask_ &= ~uint32_t{restrict_opening};
    modified_ = false;
    list_set_dictionary(txd_.get());
    list_fill(0);

    const std::string name = file_name_of(path);
    set_status_text(0, path_to_qt(format("File %s loaded, %d textures found (%0.2f kBytes "
                                         "allocated)",
                                         name.c_str(), static_cast<int>(txd_->texture_count()),
                                         txd_->allocated_bytes / 1024.0)));
    set_title(name);
    enable_texture_commands(true);
    if (texture_list_) texture_list_->setFocus();
    update_version_display();
    return true;
}

void CMainDialog::update_version_display() {
    if (!txd_) return;
    const uint32_t version = txd_->root_version();
    std::string text =
        settings_.read_string("rw_version", format("0x%08X", version), {}, k_name_buffer);
    if (text.empty()) text = format("RW 0x%08X", version);
    if (txd_->texture_count() >= 1) {
        const std::string platform = settings_.read_string(
            "rw_platform", format("0x%02X", txd_->platform_id(0)), {}, k_name_buffer);
        if (!platform.empty()) text += " (" + platform + ")";
    }
    set_status_text(3, text_from_settings(text));
}

bool CMainDialog::ask_unsaved_changes() {
    const int answer =
        host_.message_box(k_unsaved_text, "Exit?", box_buttons::yes_no_cancel, box_icon::warning);
    if (answer == id_cancel) return false;
    if (answer == id_yes) {
        cmd_save(cmd::file_save);
        return !modified_;
    }
    modified_ = false;
    return true;
}

void CMainDialog::cmd_new(int) {
    CRWSelect dialog(0x1803FFFF, this);
    dialog.settings_path = settings_.path();
    if (txd_ && modified_) {
        const int answer =
            host_.message_box("Do you really want to close currently opened file?",
                              "Create new TXD", box_buttons::yes_no, box_icon::question);
        if (answer != id_yes) return;
        discard_dictionary();
    }
    if (host_.run(dialog) != id_ok) return;
    auto created = std::make_unique<ps2_txd>();
    if (!created->create_empty(dialog.result)) {
        host_.message_box(created->last_error, k_str_error, box_buttons::ok, box_icon::error);
        return;
    }
    list_set_dictionary(nullptr);
    txd_ = std::move(created);
    // A new dictionary is a PS2 one: every command is allowed, and it has no file yet.
    restriction_mask_ = 0;
    open_offset_ = 0;
    list_set_dictionary(txd_.get());
    list_fill(0);
    render_preview(-1, 0);
    update_version_display();
    current_path_.clear();
    set_title("Untitled");
    modified_ = true;
}

void CMainDialog::cmd_open(int) {
    if (txd_ && modified_) {
        if (!ask_unsaved_changes()) return;
        discard_dictionary(); // the changes are given up; a cancelled dialog leaves none
    }
    file_request request;
    request.default_extension = ".txd";
    request.initial_name = settings_.read_string("recent_files", "recent_00");
    request.filter = k_open_filter;
    std::vector<std::string> paths;
    if (!host_.file_dialog(request, paths)) return;
    open_offset_ = 0;
    if (open_dictionary(paths.front(), 0)) add_recent(paths.front());
}

void CMainDialog::cmd_open_by_offset(int) {
    // Opening replaces the dictionary, so unsaved changes are asked about first.
    if (txd_ && modified_) {
        if (!ask_unsaved_changes()) return;
        discard_dictionary();
    }
    file_request request;
    request.default_extension = ".txd";
    request.initial_name = settings_.read_string("recent_files", "recent_00");
    request.filter = "All Files (*.*)|*.*|";
    std::vector<std::string> paths;
    if (!host_.file_dialog(request, paths)) return;
    COneEditDialog dialog("Type a hexademical offset", "Offset:", "0x00", this);
    // Cancel on the offset stops the command instead of opening at a stale offset.
    if (host_.run(dialog) != id_ok) return;
    uint32_t offset = 0;
    if (parse_hex(dialog.value, offset)) open_offset_ = offset;
    open_dictionary(paths.front(), open_offset_);
}

bool CMainDialog::save_to(const std::string& path, uint32_t offset, bool record_name) {
    if (!txd_->save(std::filesystem::path(path), offset)) {
        host_.message_box(txd_->last_error, k_str_error, box_buttons::ok, box_icon::error);
        return false;
    }
    if (record_name) {
        current_path_ = path;
        // The new file holds the dictionary at its start; later saves go there too.
        open_offset_ = 0;
        set_title(file_name_of(path));
        set_status_text(0, path_to_qt(file_name_of(path) + " saved."));
    } else {
        set_status_text(0, path_to_qt(format("File %s successfully saved.", path.c_str())));
    }
    modified_ = false;
    return true;
}

void CMainDialog::cmd_save(int) {
    if (!require_dictionary()) return;
    if (restriction_mask_ & restrict_save) {
        host_.message_box(k_saving_disabled, k_str_error, box_buttons::ok, box_icon::error);
        return;
    }
    if (!current_path_.empty()) {
        save_to(current_path_, open_offset_, false);
        return;
    }
    file_request request;
    request.save = true;
    request.default_extension = ".txd";
    request.filter = k_txd_filter;
    std::vector<std::string> paths;
    if (!host_.file_dialog(request, paths)) return;
    save_to(paths.front(), 0, true);
}

void CMainDialog::cmd_save_as(int) {
    if (!require_dictionary()) return;
    if (restriction_mask_ & restrict_save_as) {
        host_.message_box(k_saving_disabled, k_str_error, box_buttons::ok, box_icon::error);
        return;
    }
    file_request request;
    request.save = true;
    request.default_extension = ".txd";
    request.initial_name = current_path_;
    request.filter = k_txd_filter;
    std::vector<std::string> paths;
    if (!host_.file_dialog(request, paths)) return;
    save_to(paths.front(), 0, true);
}

void CMainDialog::add_recent(const std::string& path) {
    if (settings_.read_string("recent_files", "recent_00", "__fuck__") == path) return;
    int limit = settings_.read_int("main", "recent_limit", 10);
    limit = std::min(limit, 100);
    for (int k = limit - 1; k >= 0; --k) {
        const std::string value = settings_.read_string("recent_files", recent_key(k));
        if (!value.empty()) settings_.write_string("recent_files", recent_key(k + 1), value);
    }
    settings_.write_string("recent_files", "recent_00", path);
    rebuild_recent_menu();
}

void CMainDialog::rebuild_recent_menu() {
    const QList<QAction*> items = recent_menu_->actions();
    for (qsizetype i = 2; i < items.size(); ++i) {
        const int id = items[i]->data().toInt();
        if (id == cmd::recent_placeholder) continue;
        actions_.erase(id);
        recent_menu_->removeAction(items[i]);
        items[i]->deleteLater();
    }
    QAction* placeholder = action(cmd::recent_placeholder);
    int shown = 0;
    for (int n = 0; n < 100; ++n) {
        const std::string path = settings_.read_string("recent_files", recent_key(n));
        if (path.empty()) break;
        const int id = cmd::recent_first + n;
        QAction* a = recent_menu_->addAction(menu_text_for_path(path));
        a->setData(id);
        actions_[id] = a;
        connect(a, &QAction::triggered, this, [this, id] { run_command(id); });
        ++shown;
    }
    placeholder->setVisible(shown == 0);
}

void CMainDialog::cmd_open_recent(int id) {
    const int n = id - cmd::recent_first;
    const std::string path = settings_.read_string("recent_files", recent_key(n));
    if (path.empty()) return;
    // Opening replaces the dictionary, so unsaved changes are asked about first.
    if (txd_ && modified_ && !ask_unsaved_changes()) return;
    open_offset_ = 0;
    open_dictionary(path, 0);
}

void CMainDialog::cmd_toggle_autoload(int) {
    const bool was_on = settings_.read_int("main", "recent_autoload", 0) != 0;
    settings_.write_int(was_on ? 0 : 1, "main", "recent_autoload");
    action(cmd::recent_autoload)->setChecked(!was_on);
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
    if (close_request()) {
        event->accept();
        QDialog::done(QDialog::Rejected);
    } else {
        event->ignore();
    }
}

bool CMainDialog::close_request() {
    bool ends = true;
    if (modified_) {
        const int answer = host_.message_box(k_unsaved_text, "Exit?", box_buttons::yes_no_cancel,
                                             box_icon::warning);
        if (answer == id_cancel) {
            ends = false;
        } else if (answer == id_yes) {
            cmd_save(cmd::file_save);
            ends = !modified_;
        }
    }
    store_window_rect();
    return ends;
}

void CMainDialog::store_window_rect() {
    const QRect outer = frameGeometry();
    settings_.write_int(outer.top(), "main", "pos_top");
    settings_.write_int(outer.top() + outer.height(), "main", "pos_bottom");
    settings_.write_int(outer.left(), "main", "pos_left");
    settings_.write_int(outer.left() + outer.width(), "main", "pos_right");
}

void CMainDialog::set_alpha_mode(int mode) {
    alpha_mode_ = mode;
    action(cmd::alpha_texture)->setChecked(mode == 0);
    action(cmd::alpha_alpha)->setChecked(mode == 1);
    action(cmd::alpha_mixed)->setChecked(mode == 2);
    render_again();
}

void CMainDialog::set_swizzle_mode(int mode) {
    swizzle_mode_ = mode;
    action(cmd::swizzle_auto)->setChecked(mode == -1);
    action(cmd::swizzle_off)->setChecked(mode == 0);
    action(cmd::swizzle_on)->setChecked(mode == 1);
    action(cmd::swizzle_invert)->setChecked(false);
    action(cmd::swizzle_smart)->setChecked(false);
    render_again();
}

void CMainDialog::render_again() {
    if (list_has_dictionary() && list_selected() == -1) return;
    render_preview(list_has_dictionary() ? list_selected() : 0, 0);
}

void CMainDialog::cmd_alpha(int id) {
    switch (id) {
    case cmd::alpha_texture:
    case cmd::popup_alpha_texture:
        set_alpha_mode(0);
        break;
    case cmd::alpha_alpha:
    case cmd::popup_alpha_alpha:
        set_alpha_mode(1);
        break;
    case cmd::alpha_mixed:
    case cmd::popup_alpha_mixed:
        set_alpha_mode(2);
        break;
    default:
        set_alpha_mode((alpha_mode_ + 1) % 3);
        break;
    }
}

void CMainDialog::cmd_swizzle(int id) {
    switch (id) {
    case cmd::swizzle_auto:
        set_swizzle_mode(-1);
        break;
    case cmd::swizzle_on:
        set_swizzle_mode(1);
        break;
    case cmd::swizzle_off:
        set_swizzle_mode(0);
        break;
    default:
        set_swizzle_mode((swizzle_mode_ + 2) % 3 - 1);
        break;
    }
}

void CMainDialog::cmd_reload_list(int) {
    list_fill(0);
}

void CMainDialog::cmd_show_more_info(int) {
    info_shown_ = !info_shown_;
    if (info_list_) info_list_->setVisible(info_shown_);
    render_again();
    settings_.write_int(info_shown_ ? 1 : 0, "main", "enable_info");
    action(cmd::show_more_info)->setChecked(info_shown_);
    const int w = width();
    resize(w + 1, height());
    resize(w, height());
    layout_controls(client_->width(), client_->height());
}

void CMainDialog::layout_controls(int cx, int cy) {
    const auto place = [](QWidget* w, int x, int y, int width, int height) {
        if (w) w->setGeometry(x, y, std::max(0, width), std::max(0, height));
    };
    place(texture_list_, 3, 3, 222, cy - 56);
    place(mip_box_, 3, cy - 45, 222, 21);
    int preview_width = cx - 232;
    if (info_shown_ && cx > 400) {
        place(info_list_, cx - 225, 3, 222, cy - 25);
        preview_width = cx - 457;
    } else if (info_shown_) {
        cmd_show_more_info(cmd::show_more_info);
        preview_width = cx - 232;
    }
    place(preview_, 230, 3, preview_width, cy - 24);
    preview_->update();
    const int bar = status_bar_->sizeHint().height();
    place(status_bar_, 0, cy - bar, cx, bar);
}

void CMainDialog::cmd_convert_ps2(int) {
    if (!txd_) return;
    file_request request;
    request.save = true;
    request.default_extension = ".txd";
    request.filter = k_txd_filter;
    std::vector<std::string> paths;
    if (!host_.file_dialog(request, paths)) return;
    const QString before = status_text(0);
    set_status_text(0, "Please wait...");
    std::string error;
    if (!convert_to_ps2(*txd_, std::filesystem::path(paths.front()), error)) {
        // A write that failed is reported, never passed off as done.
        set_status_text(0, before);
        host_.message_box(error, k_str_error, box_buttons::ok, box_icon::error);
        return;
    }
    set_status_text(0, "Done!");
}

void CMainDialog::cmd_dev_structure(int) {
    if (!txd_) {
        host_.message_box("Firstly load RW resource.", k_str_error, box_buttons::ok,
                          box_icon::warning);
        return;
    }
    CRWTreeDialog dialog(txd_.get(), &host_, this);
    host_.run(dialog);
}

void CMainDialog::cmd_dev_memory(int) {
    if (!txd_) {
        host_.message_box("RW stream N/A", k_str_error, box_buttons::ok, box_icon::error);
        return;
    }
    host_.message_box(format("Now allocated %.2f KB (%d bytes). %d", txd_->allocated_bytes / 1024.0,
                             static_cast<int>(txd_->allocated_bytes), build_number()),
                      "RW Memory info", box_buttons::ok, box_icon::information);
}

void CMainDialog::cmd_dev_batch_log(int) {
    file_request request;
    request.multiple = true;
    request.default_extension = ".rws";
    request.filter = "ps2 txd|*.txd|";
    std::vector<std::string> paths;
    if (!host_.file_dialog(request, paths)) return;
    // The log goes beside the settings file.
    const std::filesystem::path log_path = settings_.path().parent_path() / "__txd_info_log.txt";
    std::ofstream log(log_path, std::ios::binary | std::ios::trunc);
    for (const std::string& path : paths) {
        ps2_txd dictionary;
        if (!dictionary.load(std::filesystem::path(path), 0, 0x16, 0)) continue;
        const uint32_t count = dictionary.texture_count();
        for (uint32_t t = 0; t < count; ++t) {
            set_status_text(0, path_to_qt(path));
            const uint32_t pixel_format = dictionary.pixel_format(t);
            if (pixel_format == 0x8888) continue;
            log << "File: " << path << ": #" << t << " (0x" << format("%x", pixel_format) << ") "
                << dictionary.texture_name(t, 0) << "\n";
        }
    }
    log.close();
    host_.message_box("Done", "", box_buttons::ok, box_icon::none);
}

void CMainDialog::cmd_about(int) {
    CAboutDialog dialog(this);
    host_.run(dialog);
}

void CMainDialog::dragEnterEvent(QDragEnterEvent* event) {
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
    if (!event->mimeData()->hasUrls()) return;
    event->acceptProposedAction();
    open_dropped(event->mimeData());
}

bool CMainDialog::open_dropped(const QMimeData* mime) {
    for (const QUrl& url : mime->urls()) {
        if (!url.isLocalFile()) continue;
        const std::string path = path_from_qt(url.toLocalFile());
        if (txd_ && modified_ && !ask_unsaved_changes()) return false;
        open_offset_ = 0;
        if (!open_dictionary(path, 0)) return false;
        add_recent(path);
        return true;
    }
    return false;
}
