#pragma once

// The window's document: the editor session, its undo history and what the title shows of them
// (the file's name, '*' while there are unsaved changes, the undo and redo texts). It holds no
// widget; the window shows what it says.

#include "session/edit_history.h"
#include "session/editor_session.h"

#include <string>

namespace quillmap {

class document_controller {
  public:
    document_controller() = default;
    document_controller(const document_controller&) = delete;
    document_controller& operator=(const document_controller&) = delete;

    editor_session& session() { return session_; }
    const editor_session& session() const { return session_; }
    edit_history& history() { return history_; }
    const edit_history& history() const { return history_; }

    // The name the title shows: a file name, "Untitled", or empty for no document.
    void set_title_name(std::string name) { title_name_ = std::move(name); }
    // "name* - Quillmap v…" with '*' while there are unsaved changes, or the text of no file.
    std::string window_title() const;
    // The Edit menu's items: "&Undo Rename\tCtrl+Z", "&Redo \tCtrl+Y".
    std::string undo_text() const;
    std::string redo_text() const;

  private:
    editor_session session_;
    edit_history history_{session_}; // after session_, which it observes
    std::string title_name_;
};

} // namespace quillmap
