#include "session/edit_history.h"

#include "stream/rw_chunk.h"

#include <utility>

namespace quillmap {

const char* edit_kind_name(edit_kind kind) {
    switch (kind) {
    case edit_kind::rename:
        return "Rename";
    case edit_kind::remove:
        return "Delete";
    case edit_kind::move_up:
        return "Move Up";
    case edit_kind::move_down:
        return "Move Down";
    case edit_kind::replace:
        return "Replace";
    case edit_kind::add:
        return "Import";
    case edit_kind::set_version:
        return "Change RW Version";
    case edit_kind::convert:
        return "Conversion";
    case edit_kind::mips:
        return "Mip Levels";
    }
    return "Edit";
}

edit_history::edit_history(editor_session& session) : session_(session) {
    session_.set_observer(this);
}

edit_history::~edit_history() {
    session_.set_observer(nullptr);
}

std::string edit_history::undo_name() const {
    return undo_.empty() ? std::string() : edit_kind_name(undo_.back().kind);
}

std::string edit_history::redo_name() const {
    return redo_.empty() ? std::string() : edit_kind_name(redo_.back().kind);
}

void edit_history::clear() {
    undo_.clear();
    redo_.clear();
    pending_.reset();
    latest_.reset();
    saved_distance_ = 0;
    saved_reachable_ = true;
}

void edit_history::mark_saved() {
    saved_distance_ = 0;
    saved_reachable_ = true;
}

void edit_history::before_edit(const edit_record&, ps2_txd& dictionary) {
    pending_.reset();
    // Leaves not yet read come in now, so that the copy holds every byte of the file.
    if (!dictionary.root || !dictionary.load_all(dictionary.root.get())) return;
    pending_ = freeze(*dictionary.root, latest_);
    latest_ = pending_;
}

void edit_history::after_edit(const edit_record& edit, bool applied) {
    if (!applied || !pending_) {
        pending_.reset();
        return;
    }
    // A new edit drops the steps that could be redone, and the saved state with them when it
    // lay among them.
    if (saved_distance_ < 0) saved_reachable_ = false;
    redo_.clear();
    undo_.push_back({edit.kind, std::move(pending_)});
    ++saved_distance_;
    if (undo_.size() > k_max_steps) undo_.pop_front();
    drop_over_budget();
    if (saved_distance_ > long(undo_.size())) saved_reachable_ = false;
    update_modified();
}

size_t edit_history::held_bytes() const {
    snapshot_bytes counted;
    if (const ps2_txd* dictionary = session_.dictionary(); dictionary && dictionary->root)
        counted.exclude_live(*dictionary->root);
    for (const auto* steps : {&undo_, &redo_})
        for (const step& s : *steps)
            counted.add(s.tree.get());
    return counted.total();
}

void edit_history::drop_over_budget() {
    while (undo_.size() > 1 && held_bytes() > byte_budget_)
        undo_.pop_front();
}

frozen_tree edit_history::swap_tree(const frozen_tree& tree) {
    ps2_txd* dictionary = session_.dictionary();
    dictionary->load_all(dictionary->root.get());
    frozen_tree current = freeze(*dictionary->root, latest_);
    dictionary->root = thaw(*tree);
    latest_ = tree;
    return current;
}

bool edit_history::undo() {
    if (undo_.empty() || !session_.dictionary()) return false;
    step taken = std::move(undo_.back());
    undo_.pop_back();
    redo_.push_back({taken.kind, swap_tree(taken.tree)});
    --saved_distance_;
    update_modified();
    return true;
}

bool edit_history::redo() {
    if (redo_.empty() || !session_.dictionary()) return false;
    step taken = std::move(redo_.back());
    redo_.pop_back();
    undo_.push_back({taken.kind, swap_tree(taken.tree)});
    ++saved_distance_;
    update_modified();
    return true;
}

void edit_history::update_modified() {
    session_.set_modified(!saved_reachable_ || saved_distance_ != 0);
}

} // namespace quillmap
