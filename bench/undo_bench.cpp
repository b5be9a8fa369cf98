// Memory of the undo history: 128 renames of one texture in a 2 MB dictionary, with the history's
// shared snapshots against the deep copy of the whole tree per step that undo used to take, in
// the same run. Counters: bytes the steps hold beside the dictionary, the dictionary's size, and
// the resident memory the 128 steps added.
#include "session/edit_history.h"
#include "session/editor_session.h"
#include "stream/rw_chunk.h"
#include "test_files.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <deque>
#include <filesystem>
#include <unistd.h>

namespace quillmap {

namespace fs = std::filesystem;

namespace {
constexpr int k_steps = 128;

// Eight 32-bit 256x256 textures: 2 MB of raster data.
const fs::path& two_megabyte_dictionary() {
    static const fs::path path = [] {
        std::vector<test_chunk> textures;
        for (int t = 0; t < 8; ++t)
            textures.push_back(make_ps2_texture({.name = "texture" + std::to_string(t),
                                                 .width = 256,
                                                 .height = 256,
                                                 .depth = 32,
                                                 .fill_seed = uint8_t(t)}));
        return write_file(temp_dir() / "undo.txd", make_dictionary(std::move(textures)).bytes());
    }();
    return path;
}

size_t resident_bytes() {
    long pages = 0, resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(statm);
    }
    return size_t(resident) * size_t(::sysconf(_SC_PAGESIZE));
}

// The history as it was: a deep copy of the whole tree before every edit.
std::unique_ptr<rw_chunk> deep_copy(const rw_chunk& chunk) {
    auto copy = std::make_unique<rw_chunk>();
    copy->id = chunk.id;
    copy->size = chunk.size;
    copy->version = chunk.version;
    if (chunk.data) copy->data = std::vector<uint8_t>(*chunk.data);
    for (const auto& child : chunk.children)
        copy->children.push_back(child ? deep_copy(*child) : nullptr);
    return copy;
}

size_t tree_bytes(const rw_chunk& chunk) {
    size_t bytes = sizeof(rw_chunk) + chunk.children.capacity() * sizeof(void*);
    if (chunk.data) bytes += chunk.data->capacity();
    for (const auto& child : chunk.children)
        if (child) bytes += tree_bytes(*child);
    return bytes;
}

struct deep_copy_history : edit_observer {
    std::deque<std::unique_ptr<rw_chunk>> steps;
    void before_edit(const edit_record&, ps2_txd& dictionary) override {
        dictionary.load_all(dictionary.root.get());
        steps.push_back(deep_copy(*dictionary.root));
    }
    void after_edit(const edit_record&, bool) override {}
    size_t held_bytes() const {
        size_t bytes = 0;
        for (const auto& tree : steps)
            bytes += tree_bytes(*tree);
        return bytes;
    }
};

void rename_steps(benchmark::State& state, bool shared) {
    const fs::path& path = two_megabyte_dictionary();
    size_t held = 0, added = 0;
    for (auto _ : state) {
        editor_session session;
        if (session.open(path.string(), 0, "PS2") != open_status::opened) {
            state.SkipWithError("the generated dictionary does not open");
            return;
        }
        std::unique_ptr<edit_history> history;
        deep_copy_history copies;
        if (shared)
            history = std::make_unique<edit_history>(session);
        else
            session.set_observer(&copies);
        // The first edit loads every leaf: that is the dictionary, not the history.
        session.rename(0, "start", name_kind::texture);
        const size_t before = resident_bytes();
        for (int i = 0; i < k_steps; ++i)
            session.rename(0, "name" + std::to_string(i), name_kind::texture);
        added = resident_bytes() - std::min(before, resident_bytes());
        held = shared ? history->held_bytes() : copies.held_bytes();
        session.set_observer(nullptr);
        benchmark::DoNotOptimize(held);
    }
    state.counters["history_bytes"] = double(held);
    state.counters["dictionary_bytes"] = double(fs::file_size(path));
    state.counters["resident_added"] = double(added);
}

void shared_snapshots(benchmark::State& state) {
    rename_steps(state, true);
}
void deep_copies(benchmark::State& state) {
    rename_steps(state, false);
}
} // namespace

BENCHMARK(shared_snapshots)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(deep_copies)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace quillmap
