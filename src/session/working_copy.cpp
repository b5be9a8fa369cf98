// Working copies: a long operation runs on a session of its own over a copy of the dictionary,
// so the window's session is never touched by two threads; the result comes back as one edit.
#include "session/editor_session.h"

#include "session/session_messages.h"
#include "stream/rw_chunk.h"

namespace quillmap {

namespace {
// A copy that shares no byte with `chunk`: the copy's thread may write any leaf while the
// original's thread reads its own.
std::unique_ptr<rw_chunk> detached_copy(const rw_chunk& chunk) {
    auto copy = std::make_unique<rw_chunk>();
    copy->id = chunk.id;
    copy->size = chunk.size;
    copy->version = chunk.version;
    if (chunk.data) copy->data = std::vector<uint8_t>(*chunk.data);
    copy->data_offset = 0; // in memory only: never read again from the file
    copy->children.reserve(chunk.children.capacity());
    for (const auto& child : chunk.children)
        copy->children.push_back(child ? detached_copy(*child) : nullptr);
    return copy;
}
} // namespace

std::optional<editor_session> editor_session::working_copy() {
    if (!dictionary_ || !dictionary_->root) {
        error_ = session_msg::no_dictionary;
        return std::nullopt;
    }
    if (!dictionary_->load_all(dictionary_->root.get())) {
        error_ = dictionary_->last_error;
        return std::nullopt;
    }
    editor_session copy;
    copy.dictionary_ =
        platform_ ? platform_entry_of(*platform_).create() : std::make_unique<ps2_txd>();
    copy.dictionary_->root = detached_copy(*dictionary_->root);
    copy.path_ = path_;
    copy.offset_ = offset_;
    copy.restriction_mask_ = restriction_mask_;
    copy.platform_ = platform_;
    copy.outside_priority_ = outside_priority_;
    copy.entry_link_ = entry_link_;
    return copy;
}

bool editor_session::take_worked(editor_session&& worked, edit_kind kind,
                                 const std::string& argument) {
    if (!dictionary_ || !worked.dictionary_ || !worked.dictionary_->root) {
        error_ = session_msg::no_dictionary;
        return false;
    }
    note_ = worked.note_;
    std::unique_ptr<rw_chunk> tree = std::move(worked.dictionary_->root);
    return edit({kind, 0, argument, 0}, [&](ps2_txd& txd) {
        txd.root = std::move(tree);
        return true;
    });
}

} // namespace quillmap
