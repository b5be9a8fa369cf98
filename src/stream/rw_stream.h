#pragma once

#include "stream/rw_chunk.h"
#include "stream/safe_file.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

namespace quillmap {

// A RenderWare chunk file held as an in-memory tree. Leaf data larger than preload_limit is
// read from the file on first use, so the file stays open while the object lives.
class rw_stream {
  public:
    rw_stream() = default;
    explicit rw_stream(const std::filesystem::path& path);
    rw_stream(const rw_stream&) = delete;
    rw_stream& operator=(const rw_stream&) = delete;
    virtual ~rw_stream();

    // Slot 0: builds the subtree starting at `offset`; none (with last_error) on a malformed file.
    virtual std::unique_ptr<rw_chunk> read_chunk(uint32_t offset, rw_chunk* parent, uint32_t index);
    // Slot 1: walks from the root through n child indices (passed as int).
    virtual rw_chunk* find_chunk(int n, ...);
    // Slot 2: whether a chunk's payload holds child chunks.
    virtual bool is_container(const rw_chunk* chunk, const rw_chunk* parent, uint32_t index);

    static constexpr uint32_t flag_skip_length_check = 8;

    bool open(const std::filesystem::path& path, uint32_t offset, uint32_t expected_root_id,
              uint32_t flags);
    bool open(const char* path, uint32_t offset, uint32_t expected_root_id, uint32_t flags) {
        return open(std::filesystem::path(path), offset, expected_root_id, flags);
    }
    bool open(const wchar_t* path, uint32_t offset, uint32_t expected_root_id, uint32_t flags) {
        return open(std::filesystem::path(path), offset, expected_root_id, flags);
    }

    // The chunk's data, loading it from the file when needed; none when it cannot be read.
    // Inside an edit_scope the data is first copied when an undo snapshot shares it, so that
    // the edit may write to it; outside one it is handed out as it lies, to be read.
    std::vector<uint8_t>* load_data(rw_chunk* chunk);

    // While one lives, every chunk data handed out by load_data belongs to this tree alone.
    // The session opens one around each edit; code that writes to chunk data outside an edit
    // must hold no snapshot of the tree.
    class edit_scope {
      public:
        explicit edit_scope(rw_stream& stream) : stream_(stream), was_(stream.editing_) {
            stream_.editing_ = true;
        }
        ~edit_scope() { stream_.editing_ = was_; }
        edit_scope(const edit_scope&) = delete;
        edit_scope& operator=(const edit_scope&) = delete;

      private:
        rw_stream& stream_;
        bool was_;
    };
    // Loads every leaf under the chunk (the root by default) and detaches the subtree from the
    // file.
    rw_chunk* load_all(rw_chunk* chunk = nullptr);
    void append_child(rw_chunk* parent, std::unique_ptr<rw_chunk> child);
    // Writes the tree. At offset 0 the tree becomes the whole file, replaced only after a
    // complete write (safe_file.h). At another offset the tree replaces the old one inside the
    // existing file, and only when it fits the bytes the old tree took there (`room_at`); every
    // other byte of the file stays (the file is written whole through a new copy,
    // `safe_file::write_within`), and nothing is written when it does not fit.
    bool save(const std::filesystem::path& path, uint32_t offset);
    // The same at an offset with `room` bytes from the offset on that the tree may take (an
    // archive entry's sectors, say).
    bool save_within(const std::filesystem::path& path, uint32_t offset, uint64_t room);
    bool save(const char* path, uint32_t offset) {
        return save(std::filesystem::path(path), offset);
    }
    bool save(const wchar_t* path, uint32_t offset) {
        return save(std::filesystem::path(path), offset);
    }
    bool set_version(uint32_t version, rw_chunk* chunk = nullptr);
    // The bytes the tree takes when written, header included.
    uint64_t tree_bytes() const;
    // The bytes a save would write, loading every leaf first; false (with last_error) when a leaf
    // cannot be read.
    bool tree_image(std::vector<uint8_t>& out);
    // The bytes at `offset` of `path` that a save there may overwrite: the tree this stream was
    // opened from when it is that file and offset, otherwise the tree found there now; 0 when
    // there is none.
    uint64_t room_at(const std::filesystem::path& path, uint32_t offset);
    // Frees a subtree, keeping allocated_bytes as it was.
    static void free_chunk(std::unique_ptr<rw_chunk> chunk) { chunk.reset(); }

    // Drops the tree (unless borrowed) and closes the file.
    void close();
    // Hands over a tree built elsewhere; the stream then owns it.
    void adopt_root(std::unique_ptr<rw_chunk> root);
    // Gives up ownership of the tree (used when the tree is borrowed from another stream).
    std::unique_ptr<rw_chunk> release_root() { return std::move(root); }

    uint64_t file_length() const { return file_length_; }
    // Bytes read from the file since construction; lets tests and benchmarks see what was loaded.
    // Counts the bytes handed to the tree, not the read-ahead window around them.
    uint64_t bytes_read() const { return bytes_read_; }
    // Reads the file was asked for since construction (window fills and large leaves).
    uint64_t file_reads() const { return file_reads_; }
    const std::filesystem::path& path() const { return path_; }

    std::unique_ptr<rw_chunk> root;
    std::string last_error;
    // Why the last open or load failed, for the reader (the system's reason, the offending chunk
    // or texture); last_error keeps the program's own text. Empty when there is nothing to add.
    std::string error_detail;
    uint32_t allocated_bytes = 0;
    uint32_t preload_limit = 64;
    bool borrowed_tree = false;

    // Limits on what a file may make us do.
    static constexpr uint32_t k_max_depth = 32;

    // Small reads are served from one window of this many bytes read ahead from the file: the
    // chunk headers of a texture lie close together, so a whole walk takes few reads.
    static constexpr uint32_t k_read_window = 4096;

  protected:
    std::ifstream file;
    bool read_at(uint64_t offset, void* out, size_t bytes);
    uint32_t walk_depth_ = 0;
    uint64_t walk_end_ = 0; // end of the bytes the current walk may use

  private:
    std::filesystem::path path_;
    // Where the tree was read from, how many bytes it took there and what the file was then:
    // saves back into it keep to those bytes and notice another program's changes.
    uint32_t opened_offset_ = 0;
    uint64_t opened_tree_bytes_ = 0;
    std::optional<safe_file::file_stamp> opened_stamp_;
    uint64_t file_length_ = 0;
    uint64_t bytes_read_ = 0;
    uint64_t file_reads_ = 0;
    bool editing_ = false;        // inside an edit_scope
    std::vector<uint8_t> window_; // the bytes from window_offset_ on, as the file held them
    uint64_t window_offset_ = 0;

    bool read_file(uint64_t offset, void* out, size_t bytes);
};

} // namespace quillmap
