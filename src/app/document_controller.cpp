#include "app/document_controller.h"

#include "app/app_messages.h"
#include "app/app_text.h"
#include "platform/system.h"

namespace quillmap {

std::string document_controller::window_title() const {
    if (title_name_.empty()) return format(app_msg::title_no_file, build_number());
    const char* mark = session().is_open() && session().modified() ? "*" : "";
    return title_name_ + mark + " - Quillmap " + k_version_text;
}

std::string document_controller::undo_text() const {
    return "&Undo " + history().undo_name() + "\tCtrl+Z";
}

std::string document_controller::redo_text() const {
    return "&Redo " + history().redo_name() + "\tCtrl+Y";
}

} // namespace quillmap
