#include "views/import_choices_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include <algorithm>
#include <cmath>

namespace quillmap {

namespace {
constexpr int k_most_levels = 7;
constexpr int k_preview_side = 256;

// What a format list entry reads.
QString format_label(const std::string& format, bool replace) {
    if (format.empty()) return replace ? "As stored" : "Auto (by the picture's alpha)";
    if (format == "4") return "4 bits (16 colours)";
    if (format == "8") return "8 bits (256 colours)";
    if (format == "16") return "16 bits";
    if (format == "24") return "24 bits";
    if (format == "32") return "32 bits (true colour)";
    if (format == "pal8") return "PAL8 (256 colours)";
    if (format == "pal4") return "PAL4 (16 colours)";
    return QString::fromStdString(format).toUpper();
}

bool names_depths(const std::vector<std::string>& formats) {
    return std::all_of(formats.begin(), formats.end(), [](const std::string& f) {
        return !f.empty() &&
               std::all_of(f.begin(), f.end(), [](char c) { return c >= '0' && c <= '9'; });
    });
}
} // namespace

CImportChoicesDialog::CImportChoicesDialog(purpose what, QWidget* parent)
    : QDialog(parent), purpose_(what) {
    setWindowTitle(what == purpose::import    ? "Import PNG"
                   : what == purpose::replace ? "Replace from Picture"
                                              : "Convert TXD to PS2");
    format_box = new QComboBox(this);
    dither_box = new QCheckBox("Dithering", this);
    mips_box = new QComboBox(this);
    size_box = new QComboBox(this);
    heading_label = new QLabel(this);
    heading_label->hide();
    preview_label = new QLabel(this);
    preview_label->setObjectName("choices_preview");
    preview_label->setFixedSize(k_preview_side, k_preview_side);
    preview_label->setAlignment(Qt::AlignCenter);
    preview_label->setFrameShape(QFrame::StyledPanel);
    psnr_label = new QLabel(this);
    note_label = new QLabel(this);
    note_label->setWordWrap(true);
    note_label->setMaximumWidth(k_preview_side);

    auto* ok = new QPushButton("OK", this);
    auto* cancel = new QPushButton("Cancel", this);
    ok->setDefault(true);
    auto* grid = new QGridLayout(this);
    grid->addWidget(heading_label, 0, 0, 1, 3);
    format_caption_ = new QLabel("Depth:", this);
    grid->addWidget(format_caption_, 1, 0);
    grid->addWidget(format_box, 1, 1);
    grid->addWidget(dither_box, 2, 1);
    grid->addWidget(new QLabel("Mip levels:", this), 3, 0);
    grid->addWidget(mips_box, 3, 1);
    size_caption_ = new QLabel("Size:", this);
    grid->addWidget(size_caption_, 4, 0);
    grid->addWidget(size_box, 4, 1);
    grid->setRowStretch(5, 1);
    grid->addWidget(preview_label, 1, 2, 5, 1);
    grid->addWidget(psnr_label, 6, 2);
    grid->addWidget(note_label, 7, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    grid->addLayout(buttons, 8, 0, 1, 3);

    connect(ok, &QPushButton::clicked, this, &CImportChoicesDialog::press_ok);
    connect(cancel, &QPushButton::clicked, this, [this] { done(id_cancel); });
    const auto changed = [this] {
        if (filling_) return;
        dither_box->setEnabled(std::find(dithering_formats.begin(), dithering_formats.end(),
                                         current().format) != dithering_formats.end());
        request_preview();
    };
    connect(format_box, &QComboBox::currentIndexChanged, this, changed);
    connect(mips_box, &QComboBox::currentIndexChanged, this, changed);
    connect(size_box, &QComboBox::currentIndexChanged, this, changed);
    connect(dither_box, &QCheckBox::toggled, this, changed);
}

CImportChoicesDialog::~CImportChoicesDialog() {
    // A preview still being computed ends first: its result would come back to this dialog.
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
        waiting_.reset();
    }
    wake_.notify_all();
    if (worker_.joinable()) worker_.join();
}

void CImportChoicesDialog::initialize() {
    filling_ = true;
    heading_label->setText(QString::fromStdString(heading));
    heading_label->setVisible(!heading.empty());
    format_caption_->setText(names_depths(formats) ? "Depth:" : "Format:");
    format_box->clear();
    for (const std::string& format : formats)
        format_box->addItem(format_label(format, purpose_ != purpose::import),
                            QString::fromStdString(format));
    mips_box->clear();
    if (purpose_ == purpose::convert) {
        // Each texture keeps what it has unless asked otherwise.
        mips_box->addItem("Keep the texture's levels", -1);
        mips_box->addItem("Auto (RenderWare's count)", 0);
        for (int n = 1; n <= k_most_levels; ++n)
            mips_box->addItem(QString::number(n), n);
    } else if (purpose_ == purpose::replace) {
        mips_box->addItem("Keep the texture's levels", -1);
        if (level_counts) {
            mips_box->addItem("Rebuild: full chain", 0);
            for (int n = 1; n <= k_most_levels; ++n)
                mips_box->addItem(QStringLiteral("Rebuild: %1").arg(n), n);
        } else {
            mips_box->addItem("Rebuild from the picture", 0);
        }
    } else {
        mips_box->addItem("Auto (RenderWare's count)", 0);
        for (int n = 1; n <= k_most_levels; ++n)
            mips_box->addItem(QString::number(n), n);
    }
    size_box->clear();
    for (const auto& [w, h] : sizes)
        size_box->addItem(QStringLiteral("%1x%2").arg(w).arg(h),
                          QVariant::fromValue(QSize(int(w), int(h))));
    size_box->setVisible(!sizes.empty());
    size_caption_->setVisible(!sizes.empty());
    // A conversion has no one picture to show.
    preview_label->setVisible(purpose_ != purpose::convert);
    psnr_label->setVisible(purpose_ != purpose::convert);
    note_label->setVisible(purpose_ != purpose::convert);
    filling_ = false;
    set_choices(choices);
}

void CImportChoicesDialog::set_choices(const choice_values& values) {
    filling_ = true;
    const int format_row = format_box->findData(QString::fromStdString(values.format));
    format_box->setCurrentIndex(format_row >= 0 ? format_row : 0);
    const int mips_row = mips_box->findData(values.mips);
    mips_box->setCurrentIndex(mips_row >= 0 ? mips_row : (purpose_ == purpose::import ? 1 : 0));
    const int size_row =
        size_box->findData(QVariant::fromValue(QSize(int(values.width), int(values.height))));
    size_box->setCurrentIndex(size_row >= 0 ? size_row : 0);
    dither_box->setChecked(values.dither);
    dither_box->setEnabled(std::find(dithering_formats.begin(), dithering_formats.end(),
                                     current().format) != dithering_formats.end());
    filling_ = false;
    request_preview();
}

choice_values CImportChoicesDialog::current() const {
    choice_values values;
    values.format = format_box->currentData().toString().toStdString();
    values.dither = dither_box->isChecked();
    values.mips = mips_box->currentData().toInt();
    if (size_box->count() > 0) {
        const QSize size = size_box->currentData().value<QSize>();
        values.width = uint32_t(size.width());
        values.height = uint32_t(size.height());
    }
    return values;
}

void CImportChoicesDialog::request_preview() {
    if (!compute) return;
    const uint64_t generation = ++asked_;
    preview_label->setText("Converting…");
    psnr_label->clear();
    {
        std::lock_guard lock(mutex_);
        waiting_.emplace(generation, current()); // an older waiting request is dropped
        if (!worker_.joinable()) worker_ = std::thread([this] { worker_loop(); });
    }
    wake_.notify_all();
}

void CImportChoicesDialog::worker_loop() {
    for (;;) {
        std::pair<uint64_t, choice_values> request;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return quit_ || waiting_.has_value(); });
            if (quit_) return;
            request = std::move(*waiting_);
            waiting_.reset();
        }
        preview_shown shown = compute(request.second);
        // The dialog lives until this thread has ended (its destructor joins it), so the
        // queued call always finds it.
        QMetaObject::invokeMethod(
            this,
            [this, generation = request.first, values = request.second,
             shown = std::move(shown)]() mutable {
                show_preview(generation, values, std::move(shown));
            },
            Qt::QueuedConnection);
    }
}

void CImportChoicesDialog::show_preview(uint64_t generation, const choice_values& values,
                                        preview_shown shown) {
    if (generation != asked_) return; // the choices changed since: a newer preview comes
    shown_for = values;
    shown_picture = shown.picture;
    shown_psnr_colour = shown.psnr_colour;
    shown_psnr_alpha = shown.psnr_alpha;
    if (shown.picture.isNull()) {
        preview_label->setText("No preview");
        psnr_label->clear();
        note_label->setText(QString::fromStdString(shown.error));
        return;
    }
    preview_label->setPixmap(QPixmap::fromImage(shown.picture.scaled(
        k_preview_side, k_preview_side, Qt::KeepAspectRatio, Qt::FastTransformation)));
    psnr_label->setText(psnr_text(shown.psnr_colour, shown.psnr_alpha));
    note_label->setText(QString::fromStdString(shown.note));
}

QString CImportChoicesDialog::psnr_text(double colour, double alpha) {
    if (std::isinf(colour) && std::isinf(alpha)) return "PSNR: no loss (identical to the picture)";
    const auto figure = [](double psnr) {
        return std::isinf(psnr) ? QStringLiteral("no loss")
                                : QStringLiteral("%1 dB").arg(psnr, 0, 'f', 2);
    };
    return QStringLiteral("PSNR: colour %1, alpha %2").arg(figure(colour), figure(alpha));
}

bool CImportChoicesDialog::wait_for_preview(int timeout_ms) {
    QElapsedTimer timer;
    timer.start();
    while (!(shown_for && *shown_for == current())) {
        if (timer.elapsed() > timeout_ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

void CImportChoicesDialog::press_ok() {
    choices = current();
    done(id_ok);
}

int CImportChoicesDialog::run_modal() {
    initialize();
    return exec() == id_ok ? id_ok : id_cancel;
}

} // namespace quillmap
