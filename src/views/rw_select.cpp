#include "views/rw_select.h"

#include "platform/settings.h"
#include "platform/system.h"
#include "stream/hex_text.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <cstdio>

namespace quillmap {

QString text_from_settings(const std::string& bytes) {
    if (is_valid_utf8(bytes)) return QString::fromUtf8(bytes.data(), std::ssize(bytes));
    return QString::fromLatin1(bytes.data(), std::ssize(bytes));
}

bool parse_hex(const std::string& text, uint32_t& value) {
    const auto number = parse_hex(text, hex_form::leading_number);
    if (number) value = *number;
    return number.has_value();
}

CRWSelect::CRWSelect(uint32_t initial, QWidget* parent)
    : QDialog(parent), initial_version(initial) {
    setWindowTitle("Select RW version");
    auto* text = new QLabel(
        "Select RenderWare Version either from list box\nor by typing HEX value into edit box.",
        this);
    auto* group = new QGroupBox("Select RenderWare version", this);
    from_list = new QRadioButton(group);
    from_edit = new QRadioButton(group);
    list = new QComboBox(group);
    edit = new QLineEdit(group);
    auto* group_grid = new QGridLayout(group);
    group_grid->addWidget(from_list, 0, 0);
    group_grid->addWidget(list, 0, 1);
    group_grid->addWidget(from_edit, 1, 0);
    group_grid->addWidget(edit, 1, 1);
    auto* ok = new QPushButton("OK", this);
    auto* cancel = new QPushButton("Cancel", this);
    ok->setDefault(true);
    auto* grid = new QGridLayout(this);
    grid->addWidget(text, 0, 0, 1, 2);
    grid->addWidget(group, 1, 0, 2, 1);
    grid->addWidget(ok, 1, 1);
    grid->addWidget(cancel, 2, 1);
    connect(ok, &QPushButton::clicked, this, &CRWSelect::press_ok);
    connect(cancel, &QPushButton::clicked, this, [this] { done(id_cancel); });
    connect(from_list, &QRadioButton::clicked, this, [this] { set_mode(from_list->isChecked()); });
    connect(from_edit, &QRadioButton::clicked, this, [this] { set_mode(from_list->isChecked()); });
    connect(list, &QComboBox::currentIndexChanged, this, [this] { show_selected(); });
}

void CRWSelect::initialize() {
    const QSignalBlocker blocker(list);
    list->clear();
    const settings_file settings(settings_path);
    int remembered = -1;
    for (const std::string& key : version_keys(settings_path)) {
        uint32_t value = 0;
        if (!parse_hex(key, value)) value = 0; // a key that is no number picks nothing useful
        const std::string name = settings.read_string("rw_version", key, key, k_name_buffer);
        list->addItem(text_from_settings(key + " - " + name), QVariant::fromValue(value));
        if (value == initial_version && remembered < 0) remembered = list->count() - 1;
    }
    if (list->count() == 0) list->addItem("GTA San Andreas", QVariant::fromValue(0x1803FFFFu));
    list->setCurrentIndex(remembered >= 0 ? remembered : 0);
    show_selected();
    apply_mode();
}

void CRWSelect::show_selected() {
    if (list->currentIndex() < 0) return;
    const uint32_t value = list->currentData().toUInt();
    edit->setText(QString::asprintf("0x%08X", value));
}

void CRWSelect::apply_mode() {
    from_list->setChecked(mode == 1);
    from_edit->setChecked(mode != 1);
    edit->setReadOnly(mode == 1);
    list->setEnabled(mode == 1);
}

void CRWSelect::set_mode(int new_mode) {
    mode = new_mode;
    apply_mode();
}

void CRWSelect::press_ok() {
    if (mode == 1) {
        result = list->currentIndex() < 0 ? 0xFFFFFFFFu : list->currentData().toUInt();
    } else {
        const std::string text = edit->text().left(11).toStdString();
        uint32_t value = 0;
        // Text that is no number gives -1, which the version command ignores.
        result = parse_hex(text, value) ? value : 0xFFFFFFFFu;
    }
    done(id_ok);
}

int CRWSelect::run_modal() {
    initialize();
    return exec() == id_ok ? id_ok : id_cancel;
}

} // namespace quillmap
