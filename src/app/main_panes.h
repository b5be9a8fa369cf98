#pragma once

class QComboBox;
class QMenu;
class QMenuBar;
class QPushButton;
class QSplitter;
class QStatusBar;
class QLineEdit;
class QWidget;

namespace quillmap {

// The widgets of the main window, made by the window and owned by Qt through their parents.
// Only the window reaches them; tests find them by their object names as any inspector would.

class CPictureControl;
class mip_strip;
class palette_view;
class status_pane;
class texture_details;

struct main_panes {
    QMenuBar* menu_bar = nullptr;
    QWidget* client = nullptr; // the client area; the layout rule works in its pixels
    QStatusBar* status_bar = nullptr;
    status_pane* status[4] = {};
    QMenu* recent_menu = nullptr;
    QMenu* dev_menu = nullptr;
    QPushButton* export_button = nullptr;
    QPushButton* import_button = nullptr;
    CPictureControl* preview = nullptr;
    QComboBox* mip_box = nullptr;
    mip_strip* levels = nullptr;    // every level of the texture, above the chooser
    QWidget* info_column = nullptr; // the information panel and the palette view
    palette_view* palette = nullptr;
    QSplitter* splitter = nullptr;
    QWidget* list_column = nullptr; // filter box, list or details, mip-level box
    QLineEdit* filter_box = nullptr;
    texture_details* details = nullptr;
    QWidget* texture_list = nullptr; // CTextureList, control 1066
    QWidget* info_list = nullptr;    // CTextureInfoList, control 1001
};

} // namespace quillmap
