#pragma once

// Undo and redo for the editor session. Before every edit the history takes a snapshot of the
// whole chunk tree with every leaf loaded, so a step back restores the dictionary byte for byte,
// whatever the edit did. Snapshots share what did not change (tree_snapshot.h): a step costs
// what its edit changed, and a byte budget drops the oldest steps when huge edits exceed it.

#include "session/editor_session.h"
#include "session/tree_snapshot.h"

#include <cstddef>
#include <deque>
#include <memory>
#include <string>

namespace quillmap {

class edit_history : public edit_observer {
  public:
    static constexpr size_t k_max_steps = 128;
    // Memory the steps may hold beyond the dictionary itself.
    static constexpr size_t k_default_byte_budget = size_t(256) << 20;

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

    // Bytes the steps hold that the open dictionary does not: nodes and leaf bytes, each counted
    // once however many steps share it.
    size_t held_bytes() const;
    // After an edit the oldest steps are dropped until the rest fit `bytes`; the newest step is
    // always kept.
    void set_byte_budget(size_t bytes) { byte_budget_ = bytes; }

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
        frozen_tree tree; // the dictionary as it was on the other side of the step
    };
    // Puts `tree` into the dictionary and returns a snapshot of the tree it replaced.
    frozen_tree swap_tree(const frozen_tree& tree);
    void drop_over_budget();
    void update_modified();

    editor_session& session_;
    std::deque<step> undo_;
    std::deque<step> redo_;
    frozen_tree pending_; // taken before an edit, kept if it applies
    // The last snapshot taken or restored: the next snapshot reuses its unchanged nodes.
    frozen_tree latest_;
    size_t byte_budget_ = k_default_byte_budget;
    // Steps between now and the saved state: +n n undos away, -n n redos away; none when the
    // saved state was dropped from the history.
    long saved_distance_ = 0;
    bool saved_reachable_ = true;
};

// The name of an edit for menus ("Undo Rename").
const char* edit_kind_name(edit_kind kind);

} // namespace quillmap
