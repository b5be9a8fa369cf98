#pragma once

// Every command of the window, declared once: its id, its menu text, its keys, where it sits in
// the menu bar and in the texture list's pop-up menus, and when it is enabled. The menu bar, the
// pop-up menus and the accelerators are all built from this table; a new command is one row here
// and one handler in the window.

#include <Qt>

#include <cstdint>
#include <functional>
#include <span>

class QAction;
class QMenu;
class QMenuBar;

namespace quillmap {

// Command ids of menu 102, the pop-up menu 110, the buttons and the window's own additions.
namespace cmd {
enum : int {
    file_new = 57600,
    file_open = 57601,
    file_save = 57603,
    file_open_by_offset = 40164,
    file_save_as = 40018,
    recent_autoload = 40179,
    recent_placeholder = 40046,
    recent_first = 33068, // entry n is recent_first + n
    recent_last = 33168,
    convert_pc = 40183,
    convert_ps2 = 40184,
    file_exit = 40003,
    alpha_texture = 40071,
    alpha_alpha = 40072,
    alpha_mixed = 40126,
    popup_alpha_texture = 40074,
    popup_alpha_alpha = 40075,
    popup_alpha_mixed = 40077,
    alpha_next = 40138,
    swizzle_auto = 40123,
    swizzle_on = 40131,
    swizzle_off = 40132,
    swizzle_invert = 40128,
    swizzle_smart = 40127,
    swizzle_next = 40137,
    brighten_alphas = 40130,
    original_size = 40160,
    best_fit = 40159,
    stretch_image = 40122,
    reload_list = 40155,
    show_more_info = 40129,
    export_bmp = 40028,
    export_tim2 = 40023,
    export_rwsect = 40025,
    export_all = 40015,
    export_button = 1015,
    import_file = 40006,
    import_button = 1014,
    replace = 40169,
    replace_using_alpha = 40176,
    replace_texture = 40170,
    replace_alpha = 40171,
    rename = 40008,
    remove = 40007,
    move_up = 40021,
    move_down = 40022,
    change_version = 40158,
    dev_structure = 40031,
    dev_memory = 40048,
    dev_batch_log = 40067,
    about = 40161,
    // Commands beyond the classic menu: undo, zoom, the details view and the themes.
    edit_undo = 41001,
    edit_redo = 41002,
    zoom_in = 41003,
    zoom_out = 41004,
    details_view = 41005,
    theme_system = 41010,
    theme_light = 41011,
    theme_dark = 41012,
    export_png = 41013,
    file_open_from_archive = 41020,
    check_ps2_problems = 41021,
    filter_focus = 41022,
    replace_all_from_folder = 41023,
    convert_xbox = 41024,
    edit_in = 41025,
    convert_mobile = 41026,
    convert_gamecube = 41027,
    // The pop-up menu's "&Conversion" items.
    convert_unswizzle = 40148,
    convert_swizzle = 40149,
    convert_4bpp = 40150,
    convert_8bpp = 40151,
    convert_16bpp_gray = 40152,
    convert_32bpp = 40153,
};
} // namespace cmd

// The menus commands sit in. Menu-bar menus and pop-up menus are apart: the pop-up menus are
// built one root at a time (one texture or several).
enum class menu_id : uint8_t {
    none,
    bar,
    file,
    recent,
    convert,
    edit,
    view,
    swizzling,
    theme,
    texture,
    exports,
    replaces,
    dev,
    help,
    popup_one,  // the pop-up menu of one texture
    popup_many, // the pop-up menu of several textures
    popup_exports,
    popup_replaces,
    popup_conversion,
    popup_view,
};

constexpr uint32_t in_popup(menu_id menu) {
    return uint32_t{1} << static_cast<unsigned>(menu);
}

// When a command's item is enabled.
enum class enabled_when : uint8_t {
    always,
    never,       // shown grayed: no action in this version
    dictionary,  // a dictionary is open
    textures,    // the open dictionary holds a texture
    debug_mode,  // the "enable_debug_mode" setting is on
    ps2_convert, // the open dictionary is not one of PS2 textures already
    own_rule,    // the window decides (undo history, the current texture, the selection)
};

struct key_binding {
    int key = 0;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
};

enum command_flags : uint8_t {
    checkable = 1,
    checked_at_start = 2,
    separator_before = 4,       // in the menu bar's menu
    popup_separator_before = 8, // in a pop-up menu
    default_item = 16,          // shown in bold
    exclusive = 32,             // one of a group whose checks exclude each other
};

struct command_row {
    int id = 0; // 0 for a row that opens a submenu
    const char* label = nullptr;
    menu_id menu = menu_id::none;      // where the item sits in the menu bar; none: no item there
    menu_id opens = menu_id::none;     // the submenu a row with id 0 opens
    uint32_t popups = 0;               // in_popup() of every pop-up menu holding the item
    int popup_order = 0;               // the item's place in its pop-up menus
    const char* popup_label = nullptr; // the pop-up item's text when it differs
    const char* many_label = nullptr;  // in the pop-up menu of several textures, when it differs
    enabled_when rule = enabled_when::always;
    uint8_t flags = 0;
    key_binding keys[3] = {};

    // Chained setters, so that each row of the table reads as one line of what matters.
    constexpr command_row when(enabled_when r) const {
        command_row c = *this;
        c.rule = r;
        return c;
    }
    constexpr command_row with(uint8_t f) const {
        command_row c = *this;
        c.flags = static_cast<uint8_t>(c.flags | f);
        return c;
    }
    constexpr command_row key(int k, Qt::KeyboardModifiers m = Qt::NoModifier) const {
        command_row c = *this;
        for (key_binding& slot : c.keys)
            if (slot.key == 0) {
                slot = {k, m};
                break;
            }
        return c;
    }
    constexpr command_row popup(uint32_t menus, int order, const char* text = nullptr,
                                const char* several_text = nullptr) const {
        command_row c = *this;
        c.popups = menus;
        c.popup_order = order;
        c.popup_label = text;
        c.many_label = several_text;
        return c;
    }
};

std::span<const command_row> command_table();
// The row of a command id; none for ids without one (the recent entries, the buttons).
const command_row* command_of(int id);
// The command a key runs, 0 when none.
int command_for_key(int key, Qt::KeyboardModifiers modifiers);

// Called for every item made: the action and its row.
using item_made = std::function<void(QAction*, const command_row&)>;
// Fills the menu bar from the table; `menus` receives every menu made, by id.
void build_menu_bar(QMenuBar& bar, const item_made& made,
                    std::function<void(menu_id, QMenu*)> menus);
// Fills a pop-up menu whose root is popup_one or popup_many.
void build_popup(QMenu& root, menu_id which, const item_made& made);

} // namespace quillmap
