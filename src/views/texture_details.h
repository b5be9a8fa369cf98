#pragma once

#include <QTreeWidget>

namespace quillmap {

class ps2_txd;

// The texture list's details mode: one sortable row per texture with its name, size, depth,
// format, mip levels and swizzle state. Rows keep their texture index, so sorting and filtering
// never change which texture a row stands for.
class texture_details : public QTreeWidget {
    Q_OBJECT

  public:
    enum column : int { col_name, col_size, col_depth, col_format, col_mips, col_swizzled };

    explicit texture_details(QWidget* parent = nullptr);

    // Rebuilds every row from the dictionary (none empties the view).
    void fill(ps2_txd* dictionary);
    // Shows only the rows whose name or mask name holds `text` (case-insensitive).
    void set_filter(const QString& text);
    int visible_rows() const;
    // The texture of a row in the current order, -1 when out of range.
    int texture_at(int row) const;
    // Makes the texture's row current without announcing it.
    void select_texture(int t);
    // Textures of the selected rows, in dictionary order.
    std::vector<int> selected_textures() const;
    // The text a row shows in a column (for tests and the tooltip).
    QString cell_text(int row, int column) const;

  signals:
    void texture_chosen(int t); // the user made a row current

  private:
    // Rows measured for the column widths: every row of a dictionary the game's tools write
    // (at most 255), a sample of a larger one.
    static constexpr int k_sized_rows = 1024;
    void size_columns();

    bool announcing_ = true;
};

// Whether a texture's name or mask name holds the filter text; an empty filter holds everything.
bool texture_matches_filter(const QString& name, const QString& mask, const QString& filter);

} // namespace quillmap
