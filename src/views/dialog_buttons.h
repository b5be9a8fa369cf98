#pragma once

class QDialog;
class QHBoxLayout;
class QPushButton;

namespace quillmap {

// OK and Cancel at the bottom right of a dialog, OK the default button. The caller places
// `row` and connects the buttons to what its dialog does.
struct ok_cancel_buttons {
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
    QHBoxLayout* row = nullptr;
};
ok_cancel_buttons make_ok_cancel_row(QDialog* dialog);

} // namespace quillmap
