#include "views/command_table.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>

#include <algorithm>
#include <map>
#include <vector>

namespace quillmap {

namespace {
constexpr auto ctrl = Qt::ControlModifier;
constexpr auto shift = Qt::ShiftModifier;
constexpr Qt::KeyboardModifiers ctrl_shift = Qt::ControlModifier | Qt::ShiftModifier;
using enum enabled_when;

constexpr command_row item(int id, const char* label, menu_id menu) {
    command_row row;
    row.id = id;
    row.label = label;
    row.menu = menu;
    return row;
}
constexpr command_row submenu(const char* label, menu_id menu, menu_id opens) {
    command_row row;
    row.label = label;
    row.menu = menu;
    row.opens = opens;
    return row;
}
// An item only a pop-up menu shows, or only keys reach.
constexpr command_row popup_item(int id, const char* label) {
    return item(id, label, menu_id::none);
}
constexpr command_row popup_submenu(const char* label, menu_id opens) {
    return submenu(label, menu_id::none, opens);
}

constexpr uint32_t k_one = in_popup(menu_id::popup_one);
constexpr uint32_t k_many = in_popup(menu_id::popup_many);
constexpr uint32_t k_exports = in_popup(menu_id::popup_exports);
constexpr uint32_t k_replaces = in_popup(menu_id::popup_replaces);
constexpr uint32_t k_conversion = in_popup(menu_id::popup_conversion);
constexpr uint32_t k_view = in_popup(menu_id::popup_view);

// Menu-bar rows are in menu order: a submenu's row comes before its items. Pop-up items are
// ordered by their popup_order.
const command_row k_rows[] = {
    submenu("&File", menu_id::bar, menu_id::file),
    item(cmd::file_new, "&New\tCtrl+N", menu_id::file).key(Qt::Key_N, ctrl),
    item(cmd::file_open, "&Open...\tCtrl+O", menu_id::file).key(Qt::Key_O, ctrl),
    item(cmd::file_open_by_offset, "Open By Offse&t...", menu_id::file).when(debug_mode),
    item(cmd::file_open_from_archive, "Open from A&rchive\u2026\tCtrl+Shift+O", menu_id::file)
        .key(Qt::Key_O, ctrl_shift),
    item(cmd::file_save, "&Save\tCtrl+S", menu_id::file).key(Qt::Key_S, ctrl),
    item(cmd::file_save_as, "Save &As...", menu_id::file),
    submenu("Recent Files", menu_id::file, menu_id::recent).with(separator_before),
    item(cmd::recent_autoload, "Load Recent File On Startup", menu_id::recent).with(checkable),
    item(cmd::recent_placeholder, "(no recent files)", menu_id::recent)
        .when(never)
        .with(separator_before),
    submenu("&Convert TXD to", menu_id::file, menu_id::convert),
    item(cmd::convert_pc, "PC Version", menu_id::convert).when(dictionary),
    item(cmd::convert_ps2, "PS2 Version", menu_id::convert).when(ps2_convert),
    item(cmd::convert_xbox, "XBOX Version", menu_id::convert).when(dictionary),
    item(cmd::convert_mobile, "Mobile Version", menu_id::convert).when(dictionary),
    item(cmd::convert_gamecube, "GameCube Version", menu_id::convert).when(dictionary),
    item(cmd::file_exit, "E&xit\tAlt+F4", menu_id::file).with(separator_before),

    submenu("&Edit", menu_id::bar, menu_id::edit),
    item(cmd::edit_undo, "&Undo\tCtrl+Z", menu_id::edit).when(own_rule).key(Qt::Key_Z, ctrl),
    item(cmd::edit_redo, "&Redo\tCtrl+Y", menu_id::edit)
        .when(own_rule)
        .key(Qt::Key_Y, ctrl)
        .key(Qt::Key_Z, ctrl_shift),

    submenu("&View", menu_id::bar, menu_id::view),
    item(cmd::alpha_texture, "Texture\tCtrl+1", menu_id::view).with(checkable).key(Qt::Key_1, ctrl),
    item(cmd::alpha_alpha, "Alpha\tCtrl+2", menu_id::view).with(checkable).key(Qt::Key_2, ctrl),
    item(cmd::alpha_mixed, "Texture+Alpha\tCtrl+3", menu_id::view)
        .with(checkable)
        .key(Qt::Key_3, ctrl),
    submenu("&Swizzling", menu_id::view, menu_id::swizzling).with(separator_before),
    // Shift+digit arrives as the digit or as its shifted sign, depending on the layout.
    item(cmd::swizzle_auto, "Auto\tShift+1", menu_id::swizzling)
        .with(checkable | default_item)
        .key(Qt::Key_1, shift)
        .key(Qt::Key_Exclam, shift),
    item(cmd::swizzle_on, "Always ON\tShift+2", menu_id::swizzling)
        .with(checkable)
        .key(Qt::Key_2, shift)
        .key(Qt::Key_At, shift),
    item(cmd::swizzle_off, "Always OFF\tShift+3", menu_id::swizzling)
        .with(checkable)
        .key(Qt::Key_3, shift)
        .key(Qt::Key_NumberSign, shift),
    item(cmd::swizzle_invert, "Invert\tShift+4", menu_id::swizzling)
        .when(never)
        .with(checkable)
        .key(Qt::Key_4, shift)
        .key(Qt::Key_Dollar, shift),
    item(cmd::swizzle_smart, "SmartSwizzling\tShift+7", menu_id::swizzling)
        .when(never)
        .with(checkable | separator_before),
    item(cmd::brighten_alphas, "&Brighten Alphas\tCtrl+Shift+B", menu_id::view)
        .with(checkable | checked_at_start),
    item(cmd::original_size, "Original Si&ze\tCtrl+0", menu_id::view)
        .with(checkable | checked_at_start | separator_before)
        .key(Qt::Key_0, ctrl),
    item(cmd::best_fit, "Best &Fit\tCtrl+9", menu_id::view).with(checkable).key(Qt::Key_9, ctrl),
    // Ctrl++ arrives as '+' or '=' without Shift, or as '+' with it, depending on the layout.
    item(cmd::zoom_in, "Zoom I&n\tCtrl++", menu_id::view)
        .key(Qt::Key_Plus, ctrl)
        .key(Qt::Key_Equal, ctrl)
        .key(Qt::Key_Plus, ctrl_shift),
    item(cmd::zoom_out, "Zoom &Out\tCtrl+-", menu_id::view).key(Qt::Key_Minus, ctrl),
    item(cmd::stretch_image, "S&tretch Image", menu_id::view).when(never),
    item(cmd::reload_list, "Reload List\tF5", menu_id::view).with(separator_before).key(Qt::Key_F5),
    item(cmd::show_more_info, "Show More &Info\tCtrl+I", menu_id::view)
        .with(checkable)
        .key(Qt::Key_I, ctrl),
    item(cmd::details_view, "Texture &Details", menu_id::view).with(checkable | separator_before),
    submenu("T&heme", menu_id::view, menu_id::theme),
    item(cmd::theme_system, "&System", menu_id::theme)
        .with(checkable | exclusive | checked_at_start),
    item(cmd::theme_light, "&Light", menu_id::theme).with(checkable | exclusive),
    item(cmd::theme_dark, "&Dark", menu_id::theme).with(checkable | exclusive),

    // The pop-up menus' submenus.
    popup_submenu("&Export", menu_id::popup_exports).popup(k_one, 10),
    popup_submenu("Export Selected", menu_id::popup_exports).popup(k_many, 10),
    popup_submenu("&Replace", menu_id::popup_replaces).popup(k_one, 20),
    popup_submenu("&Conversion", menu_id::popup_conversion).popup(k_one | k_many, 30),
    popup_submenu("&View\tCtrl+Shift+A", menu_id::popup_view)
        .popup(k_one, 40)
        .with(popup_separator_before),
    // Conversions work on every selected texture, so both pop-up menus offer them.
    popup_item(cmd::convert_unswizzle, "Unswizzle")
        .popup(k_conversion, 1)
        .when(own_rule)
        .with(checkable),
    popup_item(cmd::convert_swizzle, "Swizzle")
        .popup(k_conversion, 2)
        .when(own_rule)
        .with(checkable),
    popup_item(cmd::convert_4bpp, "4 bpp")
        .popup(k_conversion, 3)
        .when(own_rule)
        .with(checkable | popup_separator_before),
    popup_item(cmd::convert_8bpp, "8 bpp").popup(k_conversion, 4).when(own_rule).with(checkable),
    popup_item(cmd::convert_16bpp_gray, "16 bpp Grayscale")
        .popup(k_conversion, 5)
        .when(own_rule)
        .with(checkable),
    popup_item(cmd::convert_32bpp, "32bpp RGBA")
        .popup(k_conversion, 6)
        .when(own_rule)
        .with(checkable),
    popup_item(cmd::popup_alpha_texture, "Texture\tCtrl+1").popup(k_view, 1),
    popup_item(cmd::popup_alpha_alpha, "Alpha\tCtrl+2").popup(k_view, 2),
    popup_item(cmd::popup_alpha_mixed, "Texture+Alpha\tCtrl+3").popup(k_view, 3),

    submenu("&Texture", menu_id::bar, menu_id::texture),
    submenu("&Export", menu_id::texture, menu_id::exports),
    item(cmd::export_png, "PNG Picture\t.png", menu_id::exports).when(textures).popup(k_exports, 1),
    item(cmd::export_bmp, "Windows Bitmap\t.bmp", menu_id::exports)
        .when(textures)
        .popup(k_exports, 2),
    item(cmd::export_tim2, "PlayStation 2 TIM2\t.tm2", menu_id::exports)
        .when(textures)
        .popup(k_exports, 3),
    item(cmd::export_rwsect, "RenderWare section \t.rwsect", menu_id::exports)
        .when(textures)
        .popup(k_exports, 4),
    item(cmd::export_all, "Export &All...", menu_id::texture).when(textures),
    item(cmd::import_file, "&Import...", menu_id::texture).when(dictionary),
    submenu("&Replace", menu_id::texture, menu_id::replaces),
    item(cmd::replace_all_from_folder, "Replace All from &Folder\u2026", menu_id::texture)
        .when(textures),
    item(cmd::replace, "Replace...", menu_id::replaces).popup(k_replaces, 1),
    item(cmd::replace_using_alpha, "Replace Using Alpha...", menu_id::replaces)
        .popup(k_replaces, 2),
    item(cmd::replace_texture, "Replace Texture...", menu_id::replaces)
        .when(own_rule)
        .with(separator_before | popup_separator_before)
        .popup(k_replaces, 3),
    item(cmd::replace_alpha, "Replace Alpha...", menu_id::replaces)
        .when(own_rule)
        .popup(k_replaces, 4),
    item(cmd::edit_in, "Edi&t in\u2026", menu_id::texture).when(textures).popup(k_one, 55),
    item(cmd::rename, "Re&name\tF2", menu_id::texture)
        .when(textures)
        .with(separator_before)
        .key(Qt::Key_F2)
        .popup(k_one, 60, "Rena&me"),
    item(cmd::remove, "&Delete\tDel", menu_id::texture)
        .when(textures)
        .with(popup_separator_before)
        .key(Qt::Key_Delete)
        .popup(k_one | k_many, 50, nullptr, "Delete\tDel"),
    item(cmd::move_up, "Move &Up\tAlt+Up", menu_id::texture)
        .when(textures)
        .key(Qt::Key_Up, Qt::AltModifier),
    item(cmd::move_down, "Move Do&wn\tAlt+Down", menu_id::texture)
        .when(textures)
        .key(Qt::Key_Down, Qt::AltModifier),
    item(cmd::change_version, "&Change RW Version...", menu_id::texture)
        .when(dictionary)
        .with(separator_before),
    item(cmd::check_ps2_problems, "Check for PS2 problems\u2026", menu_id::texture)
        .when(dictionary),

    submenu("DEV", menu_id::bar, menu_id::dev).when(debug_mode),
    item(cmd::dev_structure, "Show RW structure", menu_id::dev),
    item(cmd::dev_memory, "RW Tree Memory Test", menu_id::dev),
    item(cmd::dev_batch_log, "MainDialog::MenuDEVTest02( void )\tDEV", menu_id::dev),

    submenu("&Help", menu_id::bar, menu_id::help),
    item(cmd::about, "&About...", menu_id::help),

    // Reached by keys only.
    popup_item(cmd::alpha_next, nullptr).key(Qt::Key_A, ctrl_shift),
    popup_item(cmd::swizzle_next, nullptr).key(Qt::Key_S, ctrl_shift),
    popup_item(cmd::export_button, nullptr).when(textures).key(Qt::Key_E, ctrl),
    popup_item(cmd::filter_focus, nullptr).when(dictionary).key(Qt::Key_F, ctrl),
};

QAction* add_item(QMenu& menu, const command_row& row, const char* text, bool popup,
                  const item_made& made) {
    if ((row.flags & (popup ? popup_separator_before : separator_before)) && !menu.isEmpty())
        menu.addSeparator();
    QAction* action = menu.addAction(QString::fromUtf8(text));
    action->setData(row.id);
    action->setCheckable(row.flags & checkable);
    action->setChecked(row.flags & checked_at_start);
    if (row.rule == enabled_when::never) action->setEnabled(false);
    if (row.flags & default_item) menu.setDefaultAction(action);
    if (made) made(action, row);
    return action;
}

void fill_popup(QMenu& menu, menu_id which, bool several, const item_made& made) {
    std::vector<const command_row*> rows;
    for (const command_row& row : k_rows)
        if (row.popups & in_popup(which)) rows.push_back(&row);
    std::stable_sort(rows.begin(), rows.end(), [](const command_row* a, const command_row* b) {
        return a->popup_order < b->popup_order;
    });
    for (const command_row* row : rows) {
        const char* text = several && row->many_label ? row->many_label
                           : row->popup_label         ? row->popup_label
                                                      : row->label;
        if (row->opens == menu_id::none) {
            add_item(menu, *row, text, true, made);
            continue;
        }
        if ((row->flags & popup_separator_before) && !menu.isEmpty()) menu.addSeparator();
        fill_popup(*menu.addMenu(QString::fromUtf8(text)), row->opens, several, made);
    }
}
} // namespace

std::span<const command_row> command_table() {
    return k_rows;
}

const command_row* command_of(int id) {
    for (const command_row& row : k_rows)
        if (row.id == id && id != 0) return &row;
    return nullptr;
}

int command_for_key(int key, Qt::KeyboardModifiers modifiers) {
    const auto mods = modifiers & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    for (const command_row& row : k_rows)
        for (const key_binding& binding : row.keys)
            if (binding.key != 0 && binding.key == key && binding.modifiers == mods) return row.id;
    return 0;
}

void build_menu_bar(QMenuBar& bar, const item_made& made,
                    std::function<void(menu_id, QMenu*)> menus) {
    std::map<menu_id, QMenu*> made_menus;
    std::map<menu_id, QActionGroup*> groups;
    for (const command_row& row : k_rows) {
        if (row.menu == menu_id::none) continue;
        const QString text = QString::fromUtf8(row.label);
        if (row.opens != menu_id::none) {
            QMenu* parent = row.menu == menu_id::bar ? nullptr : made_menus.at(row.menu);
            if (parent && (row.flags & separator_before)) parent->addSeparator();
            QMenu* menu = parent ? parent->addMenu(text) : bar.addMenu(text);
            made_menus[row.opens] = menu;
            if (menus) menus(row.opens, menu);
            continue;
        }
        QMenu& menu = *made_menus.at(row.menu);
        QAction* action = add_item(menu, row, row.label, false, made);
        if (row.flags & exclusive) {
            QActionGroup*& group = groups[row.menu];
            if (!group) group = new QActionGroup(&menu);
            group->addAction(action);
        }
    }
}

void build_popup(QMenu& root, menu_id which, const item_made& made) {
    fill_popup(root, which, which == menu_id::popup_many, made);
}

} // namespace quillmap
