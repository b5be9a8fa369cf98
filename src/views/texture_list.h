#pragma once

#include <QListWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QMenu;
class QMimeData;

namespace quillmap {

class ps2_txd;
class ui_host;

// Whether a drag carries textures dragged out of a list of this process: dropped back on the
// same window it is no import (nor a file to open), only a drag that went nowhere.
bool is_own_texture_drag(const QMimeData* mime);

// The texture list at the left of the main window: one tile per texture with a 32x32 picture
// and three lines (numbered name, alpha name, size and depth).
class CTextureList : public QListWidget {
    Q_OBJECT

  public:
    // Picture kinds of the "enable_thumbs" setting.
    enum picture_kind_t : int { pictures_thumbnails = 1, pictures_kind_icons = 2 };
    // Roles of the two lines under the item text.
    static constexpr int k_alpha_role = Qt::UserRole + 1;
    static constexpr int k_info_role = Qt::UserRole + 2;
    static constexpr int k_tile_height = 43;
    static constexpr int k_tile_width = 100;  // the narrowest tile
    static constexpr int k_tile_padding = 14; // picture margin, gap and right margin
    static constexpr int k_picture_size = 32;
    static constexpr int k_max_column_chars = 63;
    static constexpr int k_max_name_chars = 31;

    explicit CTextureList(ui_host& host, QWidget* parent = nullptr);
    ~CTextureList() override;

    // Rebuilds every item; index is the texture to select (-1 none). 0 without a dictionary.
    int fill(int index);

    void set_dictionary(ps2_txd* dictionary) { dictionary_ = dictionary; }
    ps2_txd* dictionary() const { return dictionary_; }
    int selected() const { return selected_; }
    int hit_item() const { return hit_item_; }
    int picture_kind() const { return picture_kind_; }
    void set_picture_kind(int kind) { picture_kind_ = kind; }
    // First selected item in list order, -1 when none.
    int first_selected() const;
    // Column 0 is the item text, 1 the alpha line, 2 the information line.
    QString item_text(int row, int column) const;
    // Whether the item has a picture (a failed thumbnail leaves none).
    bool item_has_picture(int row) const;
    // Tiles widen to the longest line, up to the list's width; longer names elide in the middle.
    int tile_width() const { return tile_width_; }
    // Shows only the textures whose name or mask name holds `text` (case-insensitive).
    void set_filter(const QString& text);
    const QString& filter() const { return filter_; }
    int visible_count() const;
    // Textures of every selected item the filter shows, in dictionary order.
    std::vector<int> selected_textures() const;
    // Adds textures to the selection (after fill, which selects the current one only).
    void select_textures(const std::vector<int>& textures);
    // Whether the filter shows texture t's tile.
    bool texture_shown(int t) const;
    // Who renames in place (the window records the edit); without one the dictionary does.
    void set_renamer(std::function<bool(uint32_t, const std::string&)> renamer) {
        renamer_ = std::move(renamer);
    }
    // Writes the dragged textures to files and names them; a drag needs one.
    void set_drag_export(std::function<std::vector<QString>(const std::vector<int>&)> exporter) {
        drag_export_ = std::move(exporter);
    }
    // Whether a pop-up item is enabled and checked, asked as the menu opens (the conversion
    // items follow the selected textures); without it the items keep the classic look.
    void set_command_state(std::function<bool(int id, bool& checked)> state) {
        command_state_ = std::move(state);
    }
    // The texture under a viewport point, -1 off the tiles.
    int texture_at(const QPoint& viewport_point) const;
    // Kind icon index (0..6) for a texture, as picture kind 2 shows it.
    static int kind_icon(uint32_t depth, uint32_t compression);

    // The context menu for a point of the viewport; none off the items.
    std::unique_ptr<QMenu> context_menu_at(const QPoint& viewport_point);
    // Rename in place: the text the edit field starts with, and the end of the edit.
    QString rename_start_text(int row) const;
    bool finish_rename(int row, const QString& text);

  signals:
    void current_texture_changed();      // the main window's WM_APP + 100
    void texture_properties_requested(); // WM_APP + 107, on a double click
    void command_requested(int id);      // a context-menu command, by main-menu id
    void dictionary_modified();          // a rename in place changed the dictionary
    // Files dropped from outside; texture is the tile they fell on, -1 for none.
    void files_dropped(const QStringList& files, int texture);

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void startDrag(Qt::DropActions actions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void on_selection_changed();
    QString column_text(const QString& text) const;
    QIcon picture_for(uint32_t t);
    void update_tile_width();
    void apply_filter();

    ui_host& host_;
    int hit_item_ = 0;
    ps2_txd* dictionary_ = nullptr;
    int selected_ = -1;
    int picture_kind_ = pictures_thumbnails;
    bool filling_ = false;
    int wanted_tile_width_ = k_tile_width;
    int tile_width_ = k_tile_width;
    QString filter_;
    std::function<bool(uint32_t, const std::string&)> renamer_;
    std::function<std::vector<QString>(const std::vector<int>&)> drag_export_;
    std::function<bool(int, bool&)> command_state_;
    std::vector<QIcon> kind_icons_;
};

} // namespace quillmap
