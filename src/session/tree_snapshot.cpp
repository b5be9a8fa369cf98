#include "session/tree_snapshot.h"

namespace quillmap {

namespace {
const frozen_tree k_none;

bool same_node(const rw_chunk& live, const frozen_chunk& frozen) {
    return live.id == frozen.id && live.size == frozen.size && live.version == frozen.version &&
           live.data.get() == frozen.data.get() && live.children.size() == frozen.children.size();
}

// The child of `like` that most likely is live child `index` again: the same slot, or the next
// or previous one after a delete, an add or a move.
const frozen_tree& counterpart(const frozen_tree& like, size_t index, const rw_chunk& child) {
    if (!like) return k_none;
    const auto& slots = like->children;
    for (const size_t at : {index, index + 1, index - 1}) {
        if (at >= slots.size() || !slots[at]) continue;
        const frozen_chunk& candidate = *slots[at];
        if (candidate.id == child.id && candidate.size == child.size &&
            candidate.data.get() == child.data.get())
            return slots[at];
    }
    return index < slots.size() ? slots[index] : k_none;
}
} // namespace

frozen_tree freeze(const rw_chunk& live, const frozen_tree& like) {
    std::vector<frozen_tree> children;
    children.reserve(live.children.size());
    bool unchanged = like && same_node(live, *like);
    for (size_t i = 0; i < live.children.size(); ++i) {
        const rw_chunk* child = live.children[i].get();
        children.push_back(child ? freeze(*child, counterpart(like, i, *child)) : nullptr);
        unchanged = unchanged && children.back() == like->children[i];
    }
    if (unchanged) return like;
    auto node = std::make_shared<frozen_chunk>();
    node->id = live.id;
    node->size = live.size;
    node->version = live.version;
    node->data = live.data.shared();
    node->children = std::move(children);
    return node;
}

std::unique_ptr<rw_chunk> thaw(const frozen_chunk& frozen) {
    auto live = std::make_unique<rw_chunk>();
    live->id = frozen.id;
    live->size = frozen.size;
    live->version = frozen.version;
    if (frozen.data) live->data = chunk_bytes::sharing(frozen.data);
    live->data_offset = 0;
    live->children.reserve(frozen.children.size());
    for (const auto& child : frozen.children)
        live->children.push_back(child ? thaw(*child) : nullptr);
    return live;
}

void snapshot_bytes::exclude_live(const rw_chunk& live) {
    if (live.data) seen_.insert(live.data.get());
    for (const auto& child : live.children)
        if (child) exclude_live(*child);
}

void snapshot_bytes::add(const frozen_chunk* tree) {
    if (!tree || !seen_.insert(tree).second) return;
    // The node, its child slots and the shared owner's control block.
    total_ +=
        sizeof(frozen_chunk) + 2 * sizeof(void*) + tree->children.capacity() * sizeof(frozen_tree);
    if (tree->data && seen_.insert(tree->data.get()).second)
        total_ += tree->data->capacity() + 2 * sizeof(void*);
    for (const auto& child : tree->children)
        add(child.get());
}

} // namespace quillmap
