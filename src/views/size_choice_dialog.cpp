#include "views/size_choice_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillmap {

CSizeChoiceDialog::CSizeChoiceDialog(const std::string& file_name, size given,
                                     std::vector<size> choices, QWidget* parent)
    : QDialog(parent), sizes(std::move(choices)) {
    setWindowTitle("Scale to a PS2 size");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        new QLabel(QStringLiteral("%1 is %2x%3. PS2 textures need sides that are powers of two: "
                                  "scale it to")
                       .arg(QString::fromStdString(file_name))
                       .arg(given.first)
                       .arg(given.second),
                   this));
    auto* row = new QHBoxLayout;
    for (size_t i = 0; i < sizes.size(); ++i) {
        auto* button =
            new QPushButton(QStringLiteral("%1x%2").arg(sizes[i].first).arg(sizes[i].second), this);
        button->setDefault(i == 0);
        connect(button, &QPushButton::clicked, this, [this, i] { choose(i); });
        buttons.push_back(button);
        row->addWidget(button);
    }
    auto* cancel = new QPushButton("Cancel", this);
    connect(cancel, &QPushButton::clicked, this, [this] { done(id_cancel); });
    row->addWidget(cancel);
    layout->addLayout(row);
}

void CSizeChoiceDialog::choose(size_t index) {
    if (index >= sizes.size()) return;
    chosen = sizes[index];
    done(id_ok);
}

int CSizeChoiceDialog::run_modal() {
    return exec() == id_ok ? id_ok : id_cancel;
}

} // namespace quillmap
