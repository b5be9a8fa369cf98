// The preview: render_preview, the current-texture update and the mip-level chooser.
#include "app/app_messages.h"
#include "app/main_dialog.h"
#include "app/picture_control.h"
#include "session/pixel_probe.h"
#include "views/display_qimage.h"
#include "views/mip_strip.h"
#include "views/palette_view.h"
#include "views/texture_info_list.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>

#include <algorithm>
#include <chrono>

namespace quillmap {

namespace {
uint64_t tick_ms() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

class wait_cursor {
  public:
    wait_cursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~wait_cursor() { QApplication::restoreOverrideCursor(); }
    wait_cursor(const wait_cursor&) = delete;
    wait_cursor& operator=(const wait_cursor&) = delete;
};
} // namespace

int CMainDialog::render_preview(int index, int level) {
    const uint64_t start = tick_ms();
    if (session().restriction_mask() & restrict_opening) return 0; // a dictionary is being opened
    wait_cursor busy;
    panes_.preview->clear();
    if (index == -1 || !session().is_open()) return 0;
    const uint32_t t = static_cast<uint32_t>(index);
    if (view_.info_shown) {
        auto* info = static_cast<CTextureInfoList*>(panes_.info_list);
        info->shown_swizzle = view_.swizzle;
        info->show_texture_info(t, session().dictionary());
    }

    bool swizzled = false;
    panes_.preview->set_bitmap(dictionary()->render(t, view_.alpha, view_.swizzle, &swizzled,
                                                    static_cast<uint32_t>(level < 0 ? 0 : level)));
    const uint64_t elapsed = tick_ms() - start;

    set_status_text(
        0, QString::asprintf(app_msg::rendered,
                             QString::fromLatin1(dictionary()->texture_name(t, name_kind::texture))
                                 .toUtf8()
                                 .constData(),
                             static_cast<double>(elapsed) / 1000.0));
    const char* view = view_.alpha == view_mode::texture ? "Texture"
                       : view_.alpha == view_mode::alpha ? "Alpha"
                                                         : "Mixed";
    set_status_text(1,
                    QString::asprintf("%dx%d, %dbpp, %s", static_cast<int>(dictionary()->width(t)),
                                      static_cast<int>(dictionary()->height(t)),
                                      static_cast<int>(dictionary()->depth(t)), view));
    const char* swizzle_text = view_.swizzle == quillmap::swizzle_mode::as_stored
                                   ? (swizzled ? app_msg::unswizzled : app_msg::no_swizzling)
                               : view_.swizzle == quillmap::swizzle_mode::on ? app_msg::swizzle_on
                                                                             : app_msg::swizzle_off;
    set_status_text(2, swizzle_text);
    return 1;
}

void CMainDialog::on_current_texture_changed() {
    const int i = list_selected();
    if (!session().is_open() || i < 0) {
        panes_.mip_box->clear();
        render_preview(-1, 0);
        update_mip_strip();
        update_palette_view();
        return;
    }
    const uint32_t t = static_cast<uint32_t>(i);
    const uint32_t d = dictionary()->depth(t);
    const bool palettised = d == 4 || d == 8;
    for (int id : {static_cast<int>(cmd::replace_texture), static_cast<int>(cmd::replace_alpha)})
        if (QAction* a = action(id)) a->setEnabled(!palettised);

    panes_.mip_box->clear();
    uint32_t w = dictionary()->width(t), h = dictionary()->height(t);
    const uint32_t n = dictionary()->mip_count(t);
    for (uint32_t k = 0; k < n; ++k) {
        panes_.mip_box->addItem(QString::asprintf(app_msg::mip_level, static_cast<int>(k),
                                                  static_cast<int>(w), static_cast<int>(h)));
        w >>= 1;
        h >>= 1;
    }
    panes_.mip_box->setCurrentIndex(0);
    panes_.mip_box->setEnabled(n > 1);
    render_preview(i, 0);
    update_mip_strip();
    update_palette_view();
}

void CMainDialog::on_mip_level_changed(int level) {
    render_preview(list_first_selected(), level);
    panes_.levels->set_current(level);
}

void CMainDialog::update_mip_strip() {
    const int t = list_selected();
    const uint32_t levels =
        session().is_open() && t >= 0 ? dictionary()->mip_count(uint32_t(t)) : 0;
    std::vector<QImage> pictures;
    for (uint32_t k = 0; levels > 1 && k < levels; ++k) {
        const device_bitmap level =
            dictionary()->render(uint32_t(t), view_.alpha, view_.swizzle, nullptr, k);
        // A level that cannot be drawn leaves an empty place, so the others keep their order.
        pictures.push_back(level ? wrap_display_image(*level).mirrored()
                                 : QImage(1, 1, QImage::Format_ARGB32));
    }
    const int current = std::max(0, panes_.mip_box->currentIndex());
    panes_.levels->set_levels(std::move(pictures));
    panes_.levels->set_current(current);
    panes_.levels->setVisible(levels > 1);
}

void CMainDialog::show_pixel_info(QPoint pixel) {
    const int t = list_selected();
    const QImage& shown = panes_.preview->shown_picture();
    if (pixel.x() < 0 || pixel.y() < 0 || !session().is_open() || t < 0 || shown.isNull() ||
        !shown.rect().contains(pixel))
        return;
    const QColor colour = shown.pixelColor(pixel);
    QString text = QString::asprintf("x %d, y %d: RGBA %d %d %d %d", pixel.x(), pixel.y(),
                                     colour.red(), colour.green(), colour.blue(), colour.alpha());
    const auto texture = static_cast<uint32_t>(t);
    const stored_pixel stored = probe_stored_pixel(
        *dictionary(), texture, uint32_t(std::max(0, panes_.mip_box->currentIndex())),
        uint32_t(pixel.x()), uint32_t(pixel.y()), reads_swizzled(texture));
    if (stored.index) text += QString::asprintf(", index %u", *stored.index);
    if (stored.alpha) text += QString::asprintf(", stored alpha 0x%02X", *stored.alpha);
    text += QString::asprintf(", zoom %d%%", panes_.preview->zoom_percent());
    set_status_text(0, text);
}

bool CMainDialog::reads_swizzled(uint32_t texture) {
    return view_.swizzle == quillmap::swizzle_mode::as_stored
               ? dictionary()->is_swizzled(texture)
               : view_.swizzle == quillmap::swizzle_mode::on;
}

void CMainDialog::update_palette_view() {
    const int t = list_selected();
    std::vector<QColor> colours;
    if (session().is_open() && t >= 0)
        for (const auto& [r, g, b, a] : indexed_palette(*dictionary(), uint32_t(t)))
            // PS2 alpha runs to 0x80 for opaque.
            colours.emplace_back(r, g, b, std::min(255, a * 2));
    const bool shown = !colours.empty();
    panes_.palette->set_colours(std::move(colours));
    panes_.palette->setVisible(shown);
}

void CMainDialog::mark_palette_index(int index) {
    const int t = list_selected();
    const QImage& shown = panes_.preview->shown_picture();
    if (index < 0 || !session().is_open() || t < 0 || shown.isNull()) {
        panes_.preview->set_highlight({});
        return;
    }
    const uint32_t level = uint32_t(std::max(0, panes_.mip_box->currentIndex()));
    const std::vector<uint8_t> indices =
        level_indices(*dictionary(), uint32_t(t), level, reads_swizzled(uint32_t(t)));
    if (indices.size() != size_t(shown.width()) * size_t(shown.height())) return;
    // The pixels of the hovered colour in a colour that stands out; the rest stays as it is.
    QImage marks(shown.size(), QImage::Format_ARGB32);
    marks.fill(Qt::transparent);
    const QRgb mark = qRgba(255, 0, 255, 200);
    for (int y = 0; y < shown.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(marks.scanLine(y));
        for (int x = 0; x < shown.width(); ++x)
            if (indices[size_t(y) * size_t(shown.width()) + size_t(x)] == index) row[x] = mark;
    }
    panes_.preview->set_highlight(marks);
}

} // namespace quillmap
