#pragma once

#include "platform/ui_host.h"

#include <QDialog>
#include <QImage>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;

namespace quillmap {

// One set of choices as the dialog holds them.
struct choice_values {
    std::string format; // as the caller's format list names it
    bool dither = true;
    int mips = 1; // -1 keeps the texture's levels (replace), 0 the full chain, else a count
    uint32_t width = 0;
    uint32_t height = 0; // the size the picture is scaled to; 0 x 0 keeps its own
    bool operator==(const choice_values&) const = default;
};

// What one set of choices makes: the converted picture and its PSNRs against the source, of
// the colour and of the alpha.
struct preview_shown {
    QImage picture; // null when the choices fail
    double psnr_colour = 0;
    double psnr_alpha = 0;
    std::string error;
    std::string note;
};

// Asked once per import of PNG pictures and per replace from one: the depth or format, the
// dithering, the mip levels and (import) the power-of-two size, with a live preview of what the
// texture will look like and its PSNR. The preview is computed by `compute` on a thread of the
// dialog's own, one at a time: choices changed while one runs replace the waiting ones, and a
// result that no longer matches the choices is never shown.
class CImportChoicesDialog : public QDialog, public modal_dialog {
    Q_OBJECT

  public:
    // Convert: a whole dictionary into PS2 textures, without a picture to preview.
    enum class purpose { import, replace, convert };
    explicit CImportChoicesDialog(purpose what, QWidget* parent = nullptr);
    ~CImportChoicesDialog() override;

    int run_modal() override;
    const char* dialog_name() const override { return "CImportChoicesDialog"; }

    // ---- set before running ----
    // The picture the choices are for: its file name and size, shown above them.
    std::string heading;
    // The formats offered (the first when `choices.format` names none) and those that dither.
    std::vector<std::string> formats;
    std::vector<std::string> dithering_formats;
    // Replace: whether level counts are offered beside keeping and rebuilding the levels.
    bool level_counts = true;
    // Import: the sizes offered, the picture's own or nearest first; none hides the row.
    std::vector<std::pair<uint32_t, uint32_t>> sizes;
    // The choices shown first; after OK, the ones chosen.
    choice_values choices;
    // Runs off the window's thread and must touch nothing the window's thread uses.
    std::function<preview_shown(const choice_values&)> compute;

    // Fills the lists from the fields above and asks for the first preview.
    void initialize();
    // Shows `values` in the lists (and asks for their preview).
    void set_choices(const choice_values& values);
    // The choices the lists show now.
    choice_values current() const;
    // Handles the window's events until the preview of the current choices is shown; false when
    // `timeout_ms` passed first.
    bool wait_for_preview(int timeout_ms);
    // OK: the shown choices go into `choices` and the dialog ends.
    void press_ok();

    // What is shown now: the preview's picture and PSNRs (of the choices `shown_for`).
    QImage shown_picture;
    double shown_psnr_colour = 0;
    double shown_psnr_alpha = 0;
    std::optional<choice_values> shown_for;

    QComboBox* format_box = nullptr;
    QCheckBox* dither_box = nullptr;
    QComboBox* mips_box = nullptr;
    QComboBox* size_box = nullptr;
    QLabel* heading_label = nullptr;
    QLabel* preview_label = nullptr;
    QLabel* psnr_label = nullptr;
    QLabel* note_label = nullptr;

    // The text the PSNR label shows for the colour's and the alpha's PSNR in dB.
    static QString psnr_text(double colour, double alpha);

  private:
    void request_preview();
    void show_preview(uint64_t generation, const choice_values& values, preview_shown shown);
    void worker_loop();

    const purpose purpose_;
    QLabel* format_caption_ = nullptr;
    QLabel* size_caption_ = nullptr;
    bool filling_ = false; // the lists are being filled: their changes ask for nothing

    std::thread worker_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<std::pair<uint64_t, choice_values>> waiting_; // the newest request
    uint64_t asked_ = 0;                                        // window's thread only
    bool quit_ = false;
};

} // namespace quillmap
