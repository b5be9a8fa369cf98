#include "stream/rw_stream.h"

#include "stream/byte_reader.h"
#include "stream/rw_ids.h"
#include "stream/rw_messages.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <system_error>

namespace quillmap {

rw_stream::rw_stream(const std::filesystem::path& path) {
    open(path, 0, 0, 0);
}

rw_stream::~rw_stream() {
    close();
}

void rw_stream::close() {
    if (borrowed_tree) (void)root.release(); // the tree belongs to somebody else
    root.reset();
    if (file.is_open()) file.close();
    file.clear();
    file_length_ = 0;
    window_.clear();
    window_offset_ = 0;
}

void rw_stream::adopt_root(std::unique_ptr<rw_chunk> new_root) {
    close();
    borrowed_tree = false;
    root = std::move(new_root);
}

bool rw_stream::read_file(uint64_t offset, void* out, size_t bytes) {
    file.clear();
    file.seekg(static_cast<std::streamoff>(offset));
    file.read(static_cast<char*>(out), static_cast<std::streamsize>(bytes));
    ++file_reads_;
    return static_cast<size_t>(file.gcount()) == bytes;
}

bool rw_stream::read_at(uint64_t offset, void* out, size_t bytes) {
    if (!file.is_open() || !fits(offset, bytes, file_length_)) return false;
    if (bytes >= k_read_window) {
        // Raster data and other large leaves go straight to their buffer.
        if (!read_file(offset, out, bytes)) return false;
    } else {
        const bool inside =
            offset >= window_offset_ && fits(offset - window_offset_, bytes, window_.size());
        if (!inside) {
            // The window starts at the request and is cut short at the end of the file.
            const uint64_t take = std::min<uint64_t>(k_read_window, file_length_ - offset);
            window_.resize(static_cast<size_t>(take));
            window_offset_ = offset;
            if (!read_file(offset, window_.data(), window_.size())) {
                window_.clear();
                return false;
            }
        }
        std::memcpy(out, window_.data() + (offset - window_offset_), bytes);
    }
    bytes_read_ += bytes;
    return true;
}

bool rw_stream::open(const std::filesystem::path& path, uint32_t offset, uint32_t expected_root_id,
                     uint32_t flags) {
    close();
    borrowed_tree = false;
    error_detail.clear();
    path_ = path;
    // Unbuffered: every read fills the window or a leaf directly, with no second copy.
    file.rdbuf()->pubsetbuf(nullptr, 0);
    errno = 0;
    file.open(path, std::ios::binary);
    const int open_errno = errno;
    std::error_code ec;
    if (!file.is_open() || std::filesystem::is_directory(path, ec)) {
        const bool directory = file.is_open();
        file.close();
        last_error = rw_msg::cant_open;
        error_detail = std::strerror(directory ? EISDIR : open_errno ? open_errno : EIO);
        return false;
    }
    file.seekg(0, std::ios::end);
    const auto end = file.tellg();
    file_length_ = end < 0 ? 0 : static_cast<uint64_t>(end);
    opened_offset_ = offset;
    opened_tree_bytes_ = 0;
    opened_stamp_ = safe_file::stamp_of(path);
    allocated_bytes = 0;
    root.reset();

    uint8_t header[k_chunk_header_bytes];
    if (!read_at(offset, header, sizeof header)) {
        last_error = rw_msg::not_valid;
        error_detail = rw_msg::too_short(file_length_ > offset ? file_length_ - offset : 0);
        return false;
    }
    const uint32_t id = load_u32(header);
    const uint32_t size = load_u32(header + 4);
    if (expected_root_id != 0 && expected_root_id != id) {
        last_error = rw_msg::wrong_root;
        error_detail = rw_msg::starts_with(header);
        return false;
    }
    // The length check compares with the whole file, not what remains after the offset.
    if (!(flags & flag_skip_length_check) &&
        static_cast<uint32_t>(file_length_ - k_chunk_header_bytes) < size) {
        last_error = rw_msg::not_valid;
        error_detail = rw_msg::past_end_of_file(id, offset);
        return false;
    }
    walk_depth_ = 0;
    walk_end_ = file_length_;
    root = read_chunk(offset, nullptr, 0);
    if (!root) {
        allocated_bytes = 0;
        last_error = rw_msg::not_valid;
        return false;
    }
    opened_tree_bytes_ = tree_bytes();
    return true;
}

namespace {
// The innermost failure of a walk is noted first and says most; the callers up the tree add
// nothing.
void note_damage(std::string& error_detail, std::string detail) {
    if (error_detail.empty()) error_detail = std::move(detail);
}
} // namespace

std::unique_ptr<rw_chunk> rw_stream::read_chunk(uint32_t offset, rw_chunk* parent, uint32_t index) {
    // A child must lie inside its parent's payload; the root inside the file.
    const uint64_t limit =
        parent ? uint64_t(parent->data_offset) + parent->size : uint64_t(file_length_);
    if (walk_depth_ >= k_max_depth || !fits(offset, k_chunk_header_bytes, limit)) {
        note_damage(error_detail, walk_depth_ >= k_max_depth
                                      ? rw_msg::nested_too_deep(offset)
                                      : rw_msg::header_cut(offset, parent != nullptr));
        return nullptr;
    }

    uint8_t header[k_chunk_header_bytes];
    if (!read_at(offset, header, sizeof header)) {
        note_damage(error_detail, rw_msg::header_cut(offset, false));
        return nullptr;
    }
    auto node = std::make_unique<rw_chunk>();
    allocated_bytes += k_chunk_node_bytes;
    node->id = load_u32(header);
    node->size = load_u32(header + 4);
    node->version = load_u32(header + 8);
    node->data_offset = offset + k_chunk_header_bytes;
    if (parent && !fits(node->data_offset, node->size, limit)) {
        note_damage(error_detail, fits(node->data_offset, node->size, file_length_)
                                      ? rw_msg::past_end_of_parent(node->id, offset, parent->id)
                                      : rw_msg::past_end_of_file(node->id, offset));
        return nullptr;
    }

    if (is_container(node.get(), parent, index)) {
        uint64_t position = node->data_offset;
        uint64_t total = 0;
        ++walk_depth_;
        while (total != node->size) {
            auto child =
                read_chunk(static_cast<uint32_t>(position), node.get(), node->child_count());
            if (!child) {
                --walk_depth_;
                return nullptr;
            }
            const uint64_t step = uint64_t(child->size) + k_chunk_header_bytes;
            append_child(node.get(), std::move(child));
            position += step;
            total += step;
        }
        --walk_depth_;
    } else {
        // Leaf data must exist in the file even when it is loaded later.
        if (!fits(node->data_offset, node->size, file_length_)) {
            note_damage(error_detail, rw_msg::past_end_of_file(node->id, offset));
            return nullptr;
        }
        if (node->size <= preload_limit && !load_data(node.get())) return nullptr;
    }
    return node;
}

rw_chunk* rw_stream::find_chunk(int n, ...) {
    va_list args;
    va_start(args, n);
    rw_chunk* chunk = root.get();
    for (int i = 0; i < n && chunk; ++i) {
        const int index = va_arg(args, int);
        if (index < 0 || static_cast<uint32_t>(index) >= chunk->child_count()) {
            last_error = rw_msg::wrong_section;
            chunk = nullptr;
            break;
        }
        chunk = chunk->child(static_cast<uint32_t>(index));
    }
    va_end(args);
    return chunk;
}

bool rw_stream::is_container(const rw_chunk* chunk, const rw_chunk* parent, uint32_t index) {
    // The fourth child of a texture native holds the raster header and data.
    if (index == 3 && parent && parent->id == rw_id_texture_native) return true;
    const uint32_t id = chunk->id;
    return id != rw_id_struct && id != rw_id_string && id != rw_id_sky_mipmap_val;
}

std::vector<uint8_t>* rw_stream::load_data(rw_chunk* chunk) {
    if (!chunk) return nullptr;
    if (chunk->data) return editing_ ? chunk->data.edit() : chunk->data.in_place();
    if (chunk->size != 0 &&
        (chunk->data_offset == 0 || !fits(chunk->data_offset, chunk->size, file_length_))) {
        last_error = rw_msg::not_valid;
        return nullptr;
    }
    std::vector<uint8_t> buffer(chunk->size);
    if (chunk->size != 0 && !read_at(chunk->data_offset, buffer.data(), buffer.size())) {
        last_error = rw_msg::not_valid;
        return nullptr;
    }
    allocated_bytes += chunk->size;
    chunk->data = std::move(buffer);
    return chunk->data.in_place();
}

rw_chunk* rw_stream::load_all(rw_chunk* chunk) {
    if (!chunk) chunk = root.get();
    if (!chunk) return nullptr;
    bool ok = true;
    if (chunk->children.empty()) {
        ok = load_data(chunk) != nullptr;
    } else {
        for (auto& child : chunk->children)
            if (!load_all(child.get())) ok = false;
    }
    if (!ok) return nullptr;
    chunk->data_offset = 0;
    return chunk;
}

void rw_stream::append_child(rw_chunk* parent, std::unique_ptr<rw_chunk> child) {
    if (parent->child_count() % k_child_slot_block == 0) {
        parent->children.reserve(parent->child_count() + k_child_slot_block);
        allocated_bytes += k_child_slot_block * k_child_slot_bytes;
    }
    parent->children.push_back(std::move(child));
}

bool rw_stream::set_version(uint32_t version, rw_chunk* chunk) {
    if (!chunk) chunk = root.get();
    if (!chunk) return false;
    chunk->version = version;
    for (auto& child : chunk->children)
        set_version(version, child.get());
    return true;
}

namespace {
void serialise(const rw_chunk* chunk, std::vector<uint8_t>& out, size_t at) {
    byte_writer header(out);
    header.seek(at);
    header.u32(chunk->id);
    header.u32(chunk->size);
    header.u32(chunk->version);
    size_t position = at + k_chunk_header_bytes;
    if (!chunk->children.empty()) {
        for (const auto& child : chunk->children) {
            serialise(child.get(), out, position);
            position += size_t(child->size) + k_chunk_header_bytes;
        }
        // Sizes are written as they stand; keep the file as long as the header says.
        if (out.size() < at + k_chunk_header_bytes + chunk->size)
            out.resize(at + k_chunk_header_bytes + chunk->size);
        return;
    }
    if (out.size() < position + chunk->size) out.resize(position + chunk->size);
    if (chunk->data) {
        const size_t n = std::min<size_t>(chunk->size, chunk->data->size());
        if (n) std::memcpy(out.data() + position, chunk->data->data(), n);
    }
}

} // namespace

uint64_t rw_stream::tree_bytes() const {
    return root ? uint64_t(root->size) + k_chunk_header_bytes : 0;
}

uint64_t rw_stream::room_at(const std::filesystem::path& target, uint32_t offset) {
    if (offset == opened_offset_ && opened_tree_bytes_ != 0 && safe_file::same_file(target, path_))
        return opened_tree_bytes_;
    // Another file or offset: the tree that lies there now, if its header fits the file.
    std::ifstream in(target, std::ios::binary);
    uint8_t header[k_chunk_header_bytes];
    in.seekg(std::streamoff(offset));
    if (!in.read(reinterpret_cast<char*>(header), sizeof header)) return 0;
    in.seekg(0, std::ios::end);
    const auto end = in.tellg();
    const uint64_t length = end < 0 ? 0 : uint64_t(end);
    const uint64_t bytes = uint64_t(load_u32(header + 4)) + k_chunk_header_bytes;
    return fits(offset, bytes, length) ? bytes : 0;
}

bool rw_stream::tree_image(std::vector<uint8_t>& out) {
    if (!root) {
        last_error = rw_msg::not_opened;
        return false;
    }
    if (!load_all(root.get())) return false;
    out.clear();
    serialise(root.get(), out, 0);
    return true;
}

bool rw_stream::save(const std::filesystem::path& target, uint32_t offset) {
    return save_within(target, offset, offset == 0 ? 0 : room_at(target, offset));
}

bool rw_stream::save_within(const std::filesystem::path& target, uint32_t offset, uint64_t room) {
    if (!root) {
        last_error = rw_msg::not_opened;
        return false;
    }
    if (!load_all(root.get())) return false;

    std::vector<uint8_t> tree;
    serialise(root.get(), tree, 0);
    const bool own_file = safe_file::same_file(target, path_);
    safe_file::write_options options = safe_file::current_policy();
    // Saving back over the file the tree came from: nobody else may have changed it meanwhile.
    if (own_file) options.unchanged_since = opened_stamp_;
    std::string error;
    if (offset == 0) {
        if (own_file && opened_offset_ != 0) {
            last_error = rw_msg::would_replace_container(path_.filename().string(), opened_offset_);
            return false;
        }
        if (!safe_file::write_file(target, tree, options, error)) {
            last_error = error;
            return false;
        }
    } else {
        if (room == 0) {
            last_error = rw_msg::no_tree_at(offset);
            return false;
        }
        if (tree.size() > room) {
            last_error = rw_msg::does_not_fit(tree.size(), room, offset);
            return false;
        }
        // Other parts of a container change under their own saves (other archive entries):
        // only this tree's bytes matter here.
        options.unchanged_since.reset();
        // A shorter tree leaves no stale bytes of the old one behind it.
        const uint64_t old_bytes = own_file && offset == opened_offset_ ? opened_tree_bytes_ : 0;
        if (tree.size() < std::min(old_bytes, room)) tree.resize(size_t(std::min(old_bytes, room)));
        // The container is written whole through a new copy: a crash leaves the old or the new.
        if (!safe_file::write_within(target, offset, tree, options, error)) {
            last_error = error;
            return false;
        }
    }
    if (own_file) opened_stamp_ = safe_file::stamp_of(target);
    return true;
}

} // namespace quillmap
