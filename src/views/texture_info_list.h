#pragma once

#include "dictionary/swizzle_mode.h"

#include <QString>
#include <QTreeWidget>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace quillmap {

class ps2_txd;

// One argument of add_info_row: a wide string (none counts as empty), an integer or a real.
struct info_arg {
    enum kind_t { text, integer, real } kind = text;
    std::wstring string;
    long long number = 0;
    double value = 0;

    info_arg(const wchar_t* s) : string(s ? s : L"") {}
    info_arg(std::wstring s) : string(std::move(s)) {}
    info_arg(int n) : kind(integer), number(n) {}
    info_arg(unsigned n) : kind(integer), number(n) {}
    info_arg(long long n) : kind(integer), number(n) {}
    info_arg(unsigned long n) : kind(integer), number(static_cast<long long>(n)) {}
    info_arg(double v) : kind(real), value(v) {}
    info_arg(float v) : kind(real), value(v) {}
};

// The two-column table of every known field of the selected texture, grouped under headings.
class CTextureInfoList : public QTreeWidget {
    Q_OBJECT

  public:
    // Group ids; there is no group 3.
    enum group_id : int { group_common = 0, group_raster = 1, group_flags = 2, group_platform = 4 };

    struct info_row {
        int group = 0;
        QString label;
        QString value;
    };

    explicit CTextureInfoList(QWidget* parent = nullptr);

    // Fills the table for texture t; a dictionary passed in is remembered, none uses the last.
    void show_texture_info(uint32_t t, ps2_txd* dictionary = nullptr);
    // Inserts a row at `row`; the first format character makes the label, the others the value.
    void add_info_row(int row, int group, const wchar_t* format,
                      std::initializer_list<info_arg> args);

    // The rows in row order, as they are shown.
    const std::vector<info_row>& rows() const { return rows_; }
    // The value of the first row with this label, empty when there is none.
    QString value_of(const QString& label) const;
    bool has_row(const QString& label) const;
    QString group_heading(int group) const;
    bool initialised() const { return initialised_; }

    // How the preview reads swizzled pixels: a swizzled texture shown unswizzled says so, as
    // the status line does.
    swizzle_mode shown_swizzle = swizzle_mode::as_stored;

    static const char* const colour_format_names[11];
    static const char* platform_name(uint32_t platform_word);

  private:
    void rebuild_items();
    void add_ps2_rows(uint32_t t, int& row);
    void add_pc_rows(uint32_t t, int& row);
    void add_mobile_rows(uint32_t t, int& row);
    void add_gamecube_rows(uint32_t t, int& row);
    void add_platform_row(uint32_t t, int& row);

    ps2_txd* dictionary_ = nullptr;
    bool initialised_ = false;
    std::vector<info_row> rows_;
    std::vector<std::pair<int, QTreeWidgetItem*>> groups_;
};

} // namespace quillmap
