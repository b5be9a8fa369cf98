#pragma once

// Undo and redo for the editor session. Before every edit the history keeps a copy of the whole
// chunk tree with every leaf loaded, so a step back restores the dictionary byte for byte,
// whatever the edit did. Dictionaries hold at most 255 textures; a copy costs what the file does.

#include "session/editor_session.h"

#include <cstddef>
#include <deque>
#include <memory>
#include <string>

struct rw_chunk;

// A deep copy of a chunk tree that no longer refers to the file it came from.
std::unique_ptr<rw_chunk> copy_tree(const rw_chunk& chunk);

class edit_history : public edit_observer {
  public:
    static constexpr size_t k_max_steps = 128;

    // The history of one session; it installs itself as the session's observer.
    explicit edit_history(editor_session& session);
    ~edit_history() override;
    edit_history(const edit_history&) = delete;
    edit_history& operator=(const edit_history&) = delete;

    bool can_undo() const { return !undo_.empty(); }
    bool can_redo() const { return !redo_.empty(); }
    // What the next undo or redo would take back or do again ("Rename", "Delete" ...).
    std::string undo_name() const;
    std::string redo_name() const;
    size_t undo_steps() const { return undo_.size(); }

    // Steps back or forward; false when there is nothing to do. The session's modified flag
    // follows: it is clear exactly when the dictionary is back at the last saved state.
    bool undo();
    bool redo();

    // A new dictionary (open, New, close) forgets every step; a save marks the saved state.
    void clear();
    void mark_saved();

    void before_edit(const edit_record& edit, ps2_txd& dictionary) override;
    void after_edit(const edit_record& edit, bool applied) override;
    void after_save() override { mark_saved(); }

  private:
    struct step {
        edit_kind kind;
        std::unique_ptr<rw_chunk> tree; // the dictionary as it was on the other side of the step
    };
    // Puts the tree of `from` into the dictionary and returns the tree it replaced.
    std::unique_ptr<rw_chunk> swap_tree(std::unique_ptr<rw_chunk> tree);
    void update_modified();

    editor_session& session_;
    std::deque<step> undo_;
    std::deque<step> redo_;
    std::unique_ptr<rw_chunk> pending_; // taken before an edit, kept if it applies
    // Steps between now and the saved state: +n n undos away, -n n redos away; none when the
    // saved state was dropped from the history.
    long saved_distance_ = 0;
    bool saved_reachable_ = true;
};

// The name of an edit for menus ("Undo Rename").
const char* edit_kind_name(edit_kind kind);
