// Power cuts replayed from the journal of every write, flush and name change (see
// tests/support/power_loss.h): after any number of changes, with any part of the unflushed writes
// kept and torn at 512-byte sectors, an archive opens and holds its old or its new entries (or a
// state the edit's order names: rows that moved listed twice, a name half renamed), and a saved
// file is its old or its new bytes, or its complete new bytes lie in a temporary file beside it.
// Once an edit or a save returned, only the new state may come back.
#include "archive_builders.h"
#include "power_loss.h"
#include "test_files.h"

#include "archive/archive_compact.h"
#include "archive/archive_edit.h"
#include "archive/archive_table.h"
#include "stream/safe_edit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <unistd.h>

namespace quillmap {

namespace {
namespace fs = std::filesystem;

using state = std::map<std::string, std::vector<uint8_t>>;

struct row_content {
    std::string name;
    std::vector<uint8_t> bytes;
    bool operator==(const row_content&) const = default;
};
using contents = std::vector<row_content>;

std::vector<uint8_t> pattern(size_t size, uint8_t seed) {
    std::vector<uint8_t> out(size);
    for (size_t i = 0; i < size; ++i)
        out[i] = uint8_t(seed * 31 + i * 7 + (i >> 9));
    return out;
}

std::vector<uint8_t> padded(std::vector<uint8_t> bytes) {
    bytes.resize((bytes.size() + 2047) / 2048 * 2048, 0);
    return bytes;
}

// The entries an archive state holds; none when it does not open or an entry cannot be read.
std::optional<contents> contents_of(archive_kind kind, const state& files) {
    const auto img = files.find("test.img");
    if (img == files.end()) return std::nullopt;
    std::vector<archive_entry> entries;
    std::string error;
    if (kind == archive_kind::ver2) {
        if (!parse_ver2_table(img->second, img->second.size(), entries, error)) return std::nullopt;
    } else {
        const auto dir = files.find("test.dir");
        if (dir == files.end() || !parse_dir_table(dir->second, img->second.size(), entries, error))
            return std::nullopt;
    }
    contents out;
    for (const auto& entry : entries) {
        if (!entry.inside) return std::nullopt;
        const auto from = img->second.begin() + ptrdiff_t(entry.offset);
        out.push_back({entry.name, std::vector<uint8_t>(from, from + ptrdiff_t(entry.size))});
    }
    return out;
}

contents contents_of(const std::vector<archive_file>& files) {
    contents out;
    for (const auto& file : files)
        out.push_back({file.name, padded(file.bytes)});
    return out;
}

// Rows that lie across two 512-byte disk sectors in a VER2 table: positions 15, 31, ...
bool straddles(size_t position) {
    return (8 + 32 * position) % 512 > 512 - 32;
}

// The 24-byte name field of a row.
std::array<char, 24> name_field(const std::string& name) {
    std::array<char, 24> out{};
    std::memcpy(out.data(), name.data(), std::min<size_t>(name.size(), 24));
    return out;
}

// A name whose first 16 bytes come from one name and the rest from the other (a row across
// two disk sectors holds the name's last 8 bytes in the second).
bool half_renamed(const std::string& found, const std::string& a, const std::string& b) {
    const auto fa = name_field(a), fb = name_field(b);
    for (const auto& [head, tail] : {std::pair{fa, fb}, std::pair{fb, fa}}) {
        std::array<char, 24> mix = head;
        std::copy(tail.begin() + 16, tail.end(), mix.begin() + 16);
        if (found == std::string(mix.data(), strnlen(mix.data(), mix.size()))) return true;
    }
    return false;
}

// Rows moved by a table change stop part-way: every entry of `after` is listed with its bytes,
// every row listed is an entry of `before` (a row listed twice, a row removed still listed) or,
// across two disk sectors, the bytes of one of them under a name whose first 16 bytes are its
// own and whose last 8 come from another row's name.
bool moved_part_way(const contents& found, const contents& before, const contents& after) {
    std::multimap<std::string, const row_content*> listed, known;
    for (const auto& entry : found)
        listed.emplace(entry.name, &entry);
    for (const auto& entry : before)
        known.emplace(entry.name, &entry);
    const auto holds = [](const std::multimap<std::string, const row_content*>& rows,
                          const row_content& entry) {
        const auto [first, last] = rows.equal_range(entry.name);
        return std::any_of(first, last, [&](const auto& row) { return *row.second == entry; });
    };
    for (const auto& entry : after)
        if (!holds(listed, entry)) return false;
    for (size_t i = 0; i < found.size(); ++i) {
        if (holds(known, found[i])) continue;
        if (!straddles(i)) return false;
        const auto field = name_field(found[i].name);
        bool head = false, tail = false;
        for (const auto& entry : before) {
            const auto other = name_field(entry.name);
            head = head || (entry.bytes == found[i].bytes &&
                            std::equal(field.begin(), field.begin() + 16, other.begin()));
            tail = tail || std::equal(field.begin() + 16, field.end(), other.begin() + 16);
        }
        if (!head || !tail) return false;
    }
    return true;
}

// A rename of a row across two disk sectors, stopped between them.
bool renamed_part_way(const contents& found, const contents& before, const contents& after) {
    if (found.size() != before.size() || after.size() != before.size()) return false;
    for (size_t i = 0; i < found.size(); ++i) {
        if (found[i] == before[i] || found[i] == after[i]) continue;
        if (!straddles(i) || found[i].bytes != before[i].bytes ||
            !half_renamed(found[i].name, before[i].name, after[i].name))
            return false;
    }
    return true;
}

std::string long_name(size_t i) {
    char name[48];
    std::snprintf(name, sizeof name, "entry_with_long_name%04zu", i % 10000); // 24 characters
    return name;
}

// Several hundred rows; a row in ten owns a sector, the others are empty, so each state stays
// small. Names of 24 characters fill the whole name field.
std::vector<archive_file> many_rows(size_t rows) {
    std::vector<archive_file> files;
    for (size_t i = 0; i < rows; ++i)
        files.push_back(
            {long_name(i), i % 10 == 3 ? pattern(700 + i, uint8_t(i)) : std::vector<uint8_t>{}});
    return files;
}

struct power_case {
    const char* name;
    archive_kind kind;
    std::function<bool(game_archive&, std::string&)> run;
    std::function<contents(contents)> expected;
    // Which in-between states the change's order allows besides the old and the new archive.
    std::function<bool(const contents& found, const contents& before, const contents& after)>
        in_between;
    uint64_t failing_write = 0; // when set, that write fails (the edit then puts things back)
    size_t rows = 300;
};

contents erase_rows(contents c, std::vector<size_t> rows) {
    std::sort(rows.rbegin(), rows.rend());
    for (const size_t row : rows)
        c.erase(c.begin() + ptrdiff_t(row));
    return c;
}

std::vector<power_case> power_cases() {
    const auto grown = pattern(9000, 77);
    std::vector<power_case> cases = {
        {"delete from the middle", archive_kind::ver2,
         [](game_archive& a, std::string& e) {
             return delete_entries(a, {5, 13, 14}, e);
         },
         [](contents c) {
             return erase_rows(c, {5, 13, 14});
         },
         moved_part_way},
        {"delete that fails part-way", archive_kind::ver2,
         [](game_archive& a, std::string& e) { return !delete_entries(a, {2}, e); },
         [](contents c) { return c; },
         // The rows moved so far, as the delete would have left them, or put back.
         [](const contents& found, const contents& before, const contents&) {
             return moved_part_way(found, before, erase_rows(before, {2}));
         },
         7},
        {"rename across two disk sectors", archive_kind::ver2,
         [](game_archive& a, std::string& e) {
             return rename_entry(a, 31, "renamed_across_sectors", e);
         },
         [](contents c) {
             c[31].name = "renamed_across_sectors";
             return c;
         },
         renamed_part_way},
        {"replace", archive_kind::ver2,
         [grown](game_archive& a, std::string& e) { return replace_entry(a, 13, grown, e); },
         [grown](contents c) {
             c[13].bytes = padded(grown);
             return c;
         },
         nullptr},
        {"add", archive_kind::ver2,
         [grown](game_archive& a, std::string& e) { return add_entry(a, "added.txd", grown, e); },
         [grown](contents c) {
             c.push_back({"added.txd", padded(grown)});
             return c;
         },
         nullptr},
        {"compact", archive_kind::ver2,
         [](game_archive& a, std::string& e) { return compact_archive(a, {}, {}, e); },
         [](contents c) { return c; }, nullptr},
        {"delete from a table of one disk sector", archive_kind::ver2,
         [](game_archive& a, std::string& e) {
             return delete_entries(a, {1, 3}, e);
         },
         [](contents c) {
             return erase_rows(c, {1, 3});
         },
         nullptr, 0, 12},
        {"delete", archive_kind::dir_img,
         [](game_archive& a, std::string& e) {
             return delete_entries(a, {3, 100}, e);
         },
         [](contents c) {
             return erase_rows(c, {3, 100});
         },
         nullptr},
        {"replace", archive_kind::dir_img,
         [grown](game_archive& a, std::string& e) { return replace_entry(a, 23, grown, e); },
         [grown](contents c) {
             c[23].bytes = padded(grown);
             return c;
         },
         nullptr},
        {"compact in place", archive_kind::dir_img,
         [](game_archive& a, std::string& e) {
             return delete_entries(a, {3}, e) && compact_archive(a, {}, {}, e);
         },
         [](contents c) { return erase_rows(c, {3}); }, nullptr},
    };
    return cases;
}

// A fresh folder, in memory when the system has one.
fs::path fresh_folder() {
    static int made = 0;
    std::error_code ec;
    fs::path base = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : temp_dir();
    const auto dir =
        base / ("quillmap-power-" + std::to_string(::getpid()) + "-" + std::to_string(++made));
    fs::create_directories(dir, ec);
    return dir;
}

struct folder_cleanup {
    fs::path folder;
    ~folder_cleanup() {
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
};

uint64_t g_failing_write = 0, g_writes = 0;
safe_file::hook_action fail_one_write(safe_file::io_step step, uint64_t) {
    if (step != safe_file::io_step::write) return safe_file::hook_action::proceed;
    return ++g_writes == g_failing_write ? safe_file::hook_action::fail
                                         : safe_file::hook_action::proceed;
}

// Counts for the report line, kept across the tests of this file.
size_t g_cuts = 0, g_states = 0;

TEST(PowerLoss, ArchiveEditsOfSeveralHundredRowsSurviveACutAtEveryChange) {
    size_t bad = 0;
    for (const auto& test : power_cases()) {
        SCOPED_TRACE(std::string(test.kind == archive_kind::ver2 ? "VER2: " : ".dir/.img: ") +
                     test.name);
        const auto folder = fresh_folder();
        const folder_cleanup cleanup{folder};
        const auto files = many_rows(test.rows);
        fs::path path;
        if (test.kind == archive_kind::ver2) {
            path = write_file(folder / "test.img", make_ver2_archive(files));
        } else {
            const auto pair = make_dir_img_archive(files);
            write_file(folder / "test.img", pair.img);
            path = write_file(folder / "test.dir", pair.dir);
        }
        const contents before = contents_of(files);
        const contents after = test.expected(before);
        game_archive archive;
        std::string error;
        ASSERT_TRUE(open_game_archive(path, archive, error)) << error;

        power_loss_model model;
        model.start(folder);
        if (test.failing_write) {
            g_writes = 0;
            g_failing_write = test.failing_write;
            safe_file::set_io_hook(fail_one_write);
        }
        const bool done = test.run(archive, error);
        safe_file::set_io_hook(nullptr);
        model.stop();
        ASSERT_TRUE(done) << error;
        ASSERT_GT(model.changes(), 0u);

        for (size_t cut = 0; cut <= model.changes(); ++cut) {
            ++g_cuts;
            for (const auto& kept : model.samples_at(cut, 24, 0x5EED + cut)) {
                ++g_states;
                const auto found = contents_of(test.kind, model.state_at(cut, kept));
                const bool finished = cut == model.changes();
                const bool good =
                    found &&
                    (*found == after ||
                     (!finished && (*found == before ||
                                    (test.in_between && test.in_between(*found, before, after)))));
                if (!good && ++bad <= 3)
                    ADD_FAILURE() << "after " << cut << " of " << model.changes()
                                  << " changes, keeping " << kept.names << " name changes: "
                                  << (found ? "an archive neither old nor new"
                                            : "an archive that does not open");
            }
        }
    }
    EXPECT_EQ(bad, 0u);
}

// Whole-file saves: one link (written beside and renamed over) and two hard links (the file
// updated through its own inode, the complete new bytes first flushed to a temporary file).
TEST(PowerLoss, SavedFilesAreOldNewOrCompleteBesideAfterACutAtEveryChange) {
    const struct {
        const char* name;
        bool linked;
        size_t old_size, new_size;
        bool inside = false; // bytes written inside the file (only the end state is checked)
    } rows[] = {
        {"one link, grows", false, 3000, 7000},      {"one link, shrinks", false, 7000, 1500},
        {"hard-linked, grows", true, 3000, 7000},    {"hard-linked, shrinks", true, 7000, 1500},
        {"written inside", false, 7000, 7000, true},
    };
    size_t bad = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto folder = fresh_folder();
        const folder_cleanup cleanup{folder};
        const auto old_bytes = pattern(row.old_size, 1);
        auto new_bytes = pattern(row.new_size, 2);
        const auto target = write_file(folder / "a.txd", old_bytes);
        if (row.linked) fs::create_hard_link(target, folder / "b.txd");
        power_loss_model model;
        model.start(folder);
        std::string error;
        bool saved = false;
        if (row.inside) {
            const std::vector<uint8_t> part(new_bytes.begin() + 1000, new_bytes.begin() + 4000);
            saved = safe_file::write_at(target, 1000, part, {}, error);
            new_bytes = old_bytes;
            std::copy(part.begin(), part.end(), new_bytes.begin() + 1000);
        } else {
            saved = safe_file::write_file(target, new_bytes, {}, error);
        }
        model.stop();
        ASSERT_TRUE(saved) << error;
        for (size_t cut = 0; cut <= model.changes(); ++cut) {
            ++g_cuts;
            for (const auto& kept : model.samples_at(cut, 24, 0xF11E + cut)) {
                ++g_states;
                const state files = model.state_at(cut, kept);
                const auto named = files.find("a.txd");
                const bool finished = cut == model.changes();
                if (row.inside && !finished) continue;
                bool good = named != files.end() && (named->second == new_bytes ||
                                                     (!finished && named->second == old_bytes));
                // A hard-linked file torn mid-update: its complete new bytes lie beside it.
                for (const auto& [name, bytes] : files)
                    good = good || (!finished && safe_file::is_temporary_name(name) &&
                                    bytes == new_bytes && named != files.end());
                if (row.linked && named != files.end()) {
                    const auto other = files.find("b.txd");
                    good = good && other != files.end() && other->second == named->second;
                }
                if (!good && ++bad <= 3)
                    ADD_FAILURE() << "after " << cut << " of " << model.changes()
                                  << " changes, keeping " << kept.names << " name changes";
            }
        }
    }
    EXPECT_EQ(bad, 0u);
    std::printf("power-loss model: %zu cut points, %zu disk states checked\n", g_cuts, g_states);
}

// The model itself: an unflushed write is lost in any part, a flushed one never; a name made
// before its folder's flush survives, one made after may not.
TEST(PowerLoss, TheModelKeepsOnlyWhatWasFlushed) {
    const auto folder = fresh_folder();
    const folder_cleanup cleanup{folder};
    const auto path = write_file(folder / "f.bin", std::vector<uint8_t>(1024, 1));
    power_loss_model model;
    model.start(folder);
    std::string error;
    safe_file::edit_file file;
    ASSERT_TRUE(file.open(path, {}, error)) << error;
    ASSERT_TRUE(file.write_at(0, std::vector<uint8_t>(1024, 2), error)) << error; // two sectors
    ASSERT_TRUE(file.flush(error)) << error;
    ASSERT_TRUE(file.write_at(256, std::vector<uint8_t>(512, 3), error)) << error; // two pieces
    file.close();
    model.stop();
    ASSERT_EQ(model.changes(), 3u);
    EXPECT_EQ(model.pending_at(1).pieces, 2u);
    EXPECT_EQ(model.pending_at(2).pieces, 0u);
    EXPECT_EQ(model.pending_at(3).pieces, 2u);
    // After the first write: either sector may be there without the other.
    const auto torn = model.state_at(1, {{false, true}, 0}).at("f.bin");
    EXPECT_EQ(torn[0], 1);
    EXPECT_EQ(torn[600], 2);
    EXPECT_EQ(model.samples_at(1, 0, 0).size(), 4u);
    // After the flush, the second write's second piece alone: bytes 512..767 hold 3.
    const auto second = model.state_at(3, {{false, true}, 0}).at("f.bin");
    EXPECT_EQ(second[300], 2);
    EXPECT_EQ(second[600], 3);
    EXPECT_EQ(second[800], 2);

    // A new file renamed into place: without the folder's flush the name may be the old one.
    power_loss_model names;
    names.start(folder);
    ASSERT_TRUE(safe_file::write_file(folder / "f.bin", std::vector<uint8_t>(10, 9), {}, error));
    names.stop();
    const size_t end = names.changes();
    EXPECT_EQ(names.state_at(end, {{}, 0}).at("f.bin"), std::vector<uint8_t>(10, 9));
    EXPECT_EQ(names.state_at(end, {{}, 0}).size(), 1u);
    const size_t before_folder_flush = end - 1;
    const auto pending = names.pending_at(before_folder_flush);
    EXPECT_EQ(pending.pieces, 0u);
    EXPECT_EQ(pending.names, 2u); // the temporary file's creation and its rename
    EXPECT_EQ(names.state_at(before_folder_flush, {{}, 0}).at("f.bin").size(), 1024u);
    EXPECT_EQ(names.state_at(before_folder_flush, {{}, 1}).size(), 2u); // the temporary file
    EXPECT_EQ(names.state_at(before_folder_flush, {{}, 2}).at("f.bin"),
              std::vector<uint8_t>(10, 9));
}
} // namespace

} // namespace quillmap
