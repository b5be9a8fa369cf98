#pragma once

// The main window's widgets for tests, found by their object names as any inspector would: the
// window itself makes none of them public.
#include "app/main_dialog.h"
#include "app/picture_control.h"
#include "views/mip_strip.h"
#include "views/palette_view.h"
#include "views/texture_details.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>

namespace quillmap {

template <class T> T* window_part(const CMainDialog& window, const char* name = nullptr) {
    T* found = name ? window.findChild<T*>(name) : window.findChild<T*>();
    EXPECT_NE(found, nullptr) << (name ? name : "unnamed part");
    return found;
}
inline CPictureControl* picture_of(const CMainDialog& w) {
    return window_part<CPictureControl>(w, "preview");
}
inline QComboBox* mip_box_of(const CMainDialog& w) {
    return window_part<QComboBox>(w, "mip_levels");
}
inline QStatusBar* status_bar_of(const CMainDialog& w) {
    return window_part<QStatusBar>(w, "status_bar");
}
inline QMenuBar* menu_bar_of(const CMainDialog& w) {
    return window_part<QMenuBar>(w);
}
inline QMenu* recent_menu_of(const CMainDialog& w) {
    return window_part<QMenu>(w, "recent_files");
}
inline QWidget* client_of(const CMainDialog& w) {
    return window_part<QWidget>(w, "client");
}
inline QSplitter* pane_splitter_of(const CMainDialog& w) {
    return window_part<QSplitter>(w, "pane_splitter");
}
inline QLineEdit* filter_box_of(const CMainDialog& w) {
    return window_part<QLineEdit>(w, "texture_filter");
}
inline texture_details* details_of(const CMainDialog& w) {
    return window_part<texture_details>(w, "texture_details");
}
inline mip_strip* level_strip_of(const CMainDialog& w) {
    return window_part<mip_strip>(w, "mip_strip");
}
inline palette_view* palette_panel_of(const CMainDialog& w) {
    return window_part<palette_view>(w, "palette_view");
}
inline QWidget* texture_list_of(const CMainDialog& w) {
    return window_part<QWidget>(w, "texture_list");
}
inline QWidget* info_list_of(const CMainDialog& w) {
    return window_part<QWidget>(w, "texture_info");
}
inline QPushButton* export_button_of(const CMainDialog& w) {
    return window_part<QPushButton>(w, "export_button");
}

} // namespace quillmap
