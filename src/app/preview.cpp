// The preview: render_preview, the current-texture update and the mip-level chooser.
#include "app/app_messages.h"
#include "app/main_dialog.h"
#include "app/picture_control.h"
#include "views/display_qimage.h"
#include "views/texture_info_list.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>

#include <chrono>

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
    if (session_.restriction_mask() & restrict_opening) return 0; // a dictionary is being opened
    wait_cursor busy;
    preview_->clear();
    if (index == -1 || !session_.is_open()) return 0;
    const uint32_t t = static_cast<uint32_t>(index);
    if (info_shown_)
        static_cast<CTextureInfoList*>(info_list_)->show_texture_info(t, session_.dictionary());

    bool swizzled = false;
    preview_->set_bitmap(dictionary()->render(t, alpha_mode_, swizzle_mode_, &swizzled,
                                              static_cast<uint32_t>(level < 0 ? 0 : level)));
    const uint64_t elapsed = tick_ms() - start;

    set_status_text(
        0, QString::asprintf(app_msg::rendered,
                             QString::fromLatin1(dictionary()->texture_name(t, name_kind::texture))
                                 .toUtf8()
                                 .constData(),
                             static_cast<double>(elapsed) / 1000.0));
    const char* view = alpha_mode_ == view_mode::texture ? "Texture"
                       : alpha_mode_ == view_mode::alpha ? "Alpha"
                                                         : "Mixed";
    set_status_text(1,
                    QString::asprintf("%dx%d, %dbpp, %s", static_cast<int>(dictionary()->width(t)),
                                      static_cast<int>(dictionary()->height(t)),
                                      static_cast<int>(dictionary()->depth(t)), view));
    const char* swizzle_text = swizzle_mode_ == ::swizzle_mode::as_stored
                                   ? (swizzled ? app_msg::unswizzled : app_msg::no_swizzling)
                               : swizzle_mode_ == ::swizzle_mode::on ? app_msg::swizzle_on
                                                                     : app_msg::swizzle_off;
    set_status_text(2, swizzle_text);
    return 1;
}

void CMainDialog::on_current_texture_changed() {
    const int i = list_selected();
    if (!session_.is_open() || i < 0) {
        mip_box_->clear();
        render_preview(-1, 0);
        return;
    }
    const uint32_t t = static_cast<uint32_t>(i);
    const uint32_t d = dictionary()->depth(t);
    const bool palettised = d == 4 || d == 8;
    for (int id : {static_cast<int>(cmd::replace_texture), static_cast<int>(cmd::replace_alpha)})
        if (QAction* a = action(id)) a->setEnabled(!palettised);

    mip_box_->clear();
    uint32_t w = dictionary()->width(t), h = dictionary()->height(t);
    const uint32_t n = dictionary()->mip_count(t);
    for (uint32_t k = 0; k < n; ++k) {
        mip_box_->addItem(QString::asprintf(app_msg::mip_level, static_cast<int>(k),
                                            static_cast<int>(w), static_cast<int>(h)));
        w >>= 1;
        h >>= 1;
    }
    mip_box_->setCurrentIndex(0);
    mip_box_->setEnabled(n > 1);
    render_preview(i, 0);
}

void CMainDialog::on_mip_level_changed(int level) {
    render_preview(list_first_selected(), level);
}
