#include "views/dialog_buttons.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>

namespace quillmap {

ok_cancel_buttons make_ok_cancel_row(QDialog* dialog) {
    ok_cancel_buttons buttons;
    buttons.ok = new QPushButton("OK", dialog);
    buttons.cancel = new QPushButton("Cancel", dialog);
    buttons.ok->setDefault(true);
    buttons.row = new QHBoxLayout;
    buttons.row->addStretch();
    buttons.row->addWidget(buttons.ok);
    buttons.row->addWidget(buttons.cancel);
    return buttons;
}

} // namespace quillmap
