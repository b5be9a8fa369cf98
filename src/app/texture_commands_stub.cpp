// Stand-ins for the texture block of CMainDialog until texture_commands.cpp and preview.cpp
// land; this file is deleted then.
#include "app/main_dialog.h"
#include "app/picture_control.h"

#include <map>

namespace {
struct stub_list {
    ps2_txd* dictionary = nullptr;
    int selected = -1;
};
std::map<const CMainDialog*, stub_list> g_lists;
} // namespace

void CMainDialog::create_texture_views() {
    texture_list_ = new QWidget(client());
    info_list_ = new QWidget(client());
    g_lists[this] = {};
}

int CMainDialog::list_fill(int index) {
    stub_list& list = g_lists[this];
    list.selected = -1;
    if (!list.dictionary) return 0;
    if (index >= 0 && static_cast<uint32_t>(index) < list.dictionary->texture_count()) {
        list.selected = index;
        send_app_message(msg_current_texture);
    }
    return 1;
}

void CMainDialog::list_set_dictionary(ps2_txd* dictionary) {
    g_lists[this].dictionary = dictionary;
    if (!dictionary) g_lists[this].selected = -1;
}
bool CMainDialog::list_has_dictionary() const {
    const auto found = g_lists.find(this);
    return found != g_lists.end() && found->second.dictionary;
}
int CMainDialog::list_selected() const {
    const auto found = g_lists.find(this);
    return found == g_lists.end() ? -1 : found->second.selected;
}
int CMainDialog::list_first_selected() const {
    return list_selected();
}
void CMainDialog::list_set_image_mode(int) {}

int CMainDialog::render_preview(int index, int level) {
    if (restriction_mask() & 1) return 0;
    if (index < 0 || !dictionary()) {
        picture()->clear();
        return 0;
    }
    bool swizzled = false;
    picture()->set_bitmap(dictionary()->render(static_cast<uint32_t>(index), alpha_mode(),
                                               swizzle_mode(), &swizzled,
                                               static_cast<uint32_t>(level)));
    return 1;
}

void CMainDialog::on_current_texture_changed() {
    render_preview(list_selected(), 0);
}
void CMainDialog::on_mip_level_changed(int level) {
    render_preview(list_selected(), level);
}
void CMainDialog::cmd_export(int) {}
void CMainDialog::cmd_export_button(int) {}
void CMainDialog::cmd_export_all(int) {}
void CMainDialog::cmd_import(int) {}
void CMainDialog::cmd_replace(int) {}
void CMainDialog::cmd_rename(int) {}
void CMainDialog::cmd_delete(int) {}
void CMainDialog::cmd_move(int) {}
void CMainDialog::cmd_change_version(int) {}
void CMainDialog::on_texture_properties() {}
