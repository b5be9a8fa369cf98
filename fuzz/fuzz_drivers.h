#pragma once

// What each fuzz target does with one input. Shared by the libFuzzer entry points, the plain
// replay program and the corpus replay test, so that a stored crash input goes through exactly
// the code that found it. Drivers never judge the outcome of an operation on a bad file (any
// result with a message is fine); they abort only when an invariant that holds for every input
// is broken.

#include "archive/archive_compact.h"
#include "archive/archive_edit.h"
#include "archive/archive_extract.h"
#include "archive/game_archive.h"
#include "dictionary/convert_ps2.h"
#include "dictionary/gc_raster_check.h"
#include "dictionary/gc_txd.h"
#include "dictionary/ios_txd.h"
#include "dictionary/pc_txd.h"
#include "dictionary/ps2_raster_check.h"
#include "dictionary/ps2_txd.h"
#include "dictionary/tex_txd.h"
#include "dictionary/txd_probe.h"
#include "dictionary/xbox_txd.h"
#include "platform/profile.h"
#include "raster/dds_file.h"
#include "raster/ps2_bitmap.h"
#include "raster/raster_limits.h"
#include "raster/tim2_file.h"
#include "stream/rw_stream.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <unistd.h>
#include <utility>
#include <vector>

namespace quillmap {

namespace qm_fuzz {

// Work done per input is capped so that the fuzzer spends its time on many inputs rather than
// on one big one; the replay paths use the same caps so that they see what the fuzzer saw.
inline constexpr uint32_t k_max_textures_driven = 12;
inline constexpr uint32_t k_max_levels_driven = 12;

// What happens when an invariant breaks: the fuzzers abort (a finding); tests record a failure.
inline void abort_on_broken(const char* what) {
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
    std::abort();
}
inline void (*on_broken)(const char*) = abort_on_broken;
inline void broken(const char* what) {
    on_broken(what);
}

// A refused operation must say why.
template <class Object> void expect_message(bool ok, const Object& object, const char* what) {
    if (!ok && object.last_error.empty()) broken(what);
}

// One scratch folder per process, removed at exit.
inline const std::filesystem::path& scratch() {
    static const std::filesystem::path dir = [] {
        std::error_code ec;
        std::filesystem::path base = "/dev/shm";
        if (!std::filesystem::is_directory(base, ec)) base = std::filesystem::temp_directory_path();
        auto d = base / ("quillmap-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(d, ec);
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(scratch(), ignored);
        });
        return d;
    }();
    return dir;
}

inline std::filesystem::path put(const std::string& name, std::span<const uint8_t> data) {
    const auto path = scratch() / name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()),
              static_cast<std::streamsize>(data.size()));
    return path;
}

inline std::vector<uint8_t> slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Reads every byte (so that the sanitizer sees a short buffer) and keeps the sum observable.
inline volatile uint32_t touched_sum = 0;
inline void touch(const uint8_t* bytes, size_t count) {
    if (!bytes) return;
    uint32_t sum = 0;
    for (size_t i = 0; i < count; ++i)
        sum += bytes[i];
    touched_sum = sum;
}

// Every read-only operation of the dictionary interface on texture t, then rendering at every
// level and view and export in every file type.
inline void read_texture(ps2_txd& txd, uint32_t t) {
    (void)txd.texture_name(t, name_kind::texture);
    (void)txd.texture_name(t, name_kind::mask);
    (void)txd.is_swizzled(t);
    (void)txd.depth(t);
    (void)txd.width(t);
    (void)txd.height(t);
    (void)txd.compression(t);
    (void)txd.is_ps2(t);
    // Callers read whole headers through these pointers: 64 bytes of raster header, 80 of each
    // transfer header.
    touch(txd.raster_header(t), 64);
    touch(txd.transfer_header(t), 80);
    touch(txd.palette_transfer_header(t), 80);
    (void)txd.texture_flags(t);
    (void)txd.pixel_format(t);
    (void)txd.platform_id(t);
    (void)txd.raster_format(t);
    (void)txd.palette(t);
    const uint32_t levels = std::min(txd.mip_count(t), k_max_levels_driven);
    for (uint32_t level = 0; level < std::max(levels, 1u) + 1; ++level) {
        (void)txd.pixels(t, level);
        for (view_mode mode : k_user_views) {
            bool state = false;
            device_bitmap image = txd.render(t, mode, swizzle_mode::as_stored, &state, level);
            if (image && image->bytes.size() < uint64_t(image->stride) * image->height)
                broken("display image shorter than its rows");
        }
        (void)txd.release_pixels(t);
    }
    for (swizzle_mode swizzle : {swizzle_mode::off, swizzle_mode::on})
        (void)txd.render(t, view_mode::mixed, swizzle, nullptr, 0);
}

inline void export_one(ps2_txd& txd, uint32_t t, view_mode mode, export_type type,
                       const std::filesystem::path& path, swizzle_mode swizzle) {
    txd.last_error.clear();
    expect_message(txd.export_texture(t, mode, type, &path, swizzle), txd,
                   "export refused without a message");
}

inline void export_texture(ps2_txd& txd, uint32_t t) {
    const auto bmp = scratch() / "export.bmp";
    const auto tm2 = scratch() / "export.tm2";
    const auto sect = scratch() / "export.rwsect";
    for (view_mode mode : k_user_views)
        export_one(txd, t, mode, export_type::bmp, bmp, swizzle_mode::as_stored);
    export_one(txd, t, view_mode::texture, export_type::tim2, tm2, swizzle_mode::as_stored);
    export_one(txd, t, view_mode::texture, export_type::tim2, tm2, swizzle_mode::off);
    export_one(txd, t, view_mode::texture, export_type::rwsect, sect, swizzle_mode::as_stored);
    export_one(txd, t, view_mode::texture, export_type::png, sect,
               swizzle_mode::as_stored); // not the dictionary's own
    (void)txd.release_pixels(t);
}

// Reads every texture, then edits and saves; the dictionary is left edited.
inline void drive_loaded(ps2_txd& txd, uint32_t max_textures = k_max_textures_driven) {
    const uint32_t count = std::min(txd.texture_count(), max_textures);
    for (uint32_t t = 0; t < count; ++t) {
        read_texture(txd, t);
        export_texture(txd, t);
    }
    // Positions beyond the count answer with a message.
    read_texture(txd, txd.texture_count());
    (void)txd.root_version();
    // Lint walks every transfer header; repair rewrites words in place and must stay inside.
    (void)lint_ps2_textures(txd);
    (void)repair_ps2_textures(txd);
    (void)lint_ps2_textures(txd);
    (void)lint_gc_textures(txd);
    (void)repair_gc_textures(txd);
    (void)lint_gc_textures(txd);
    for (uint32_t t = 0; t < count; ++t) {
        std::vector<uint8_t> plain;
        for (uint32_t n = 0; n < 8; ++n)
            if (ps2_plain_level(txd, t, n, plain)) touch(plain.data(), plain.size());
    }

    {
        ps2_txd converted;
        std::string error;
        std::vector<std::string> skipped;
        if (convert_to_ps2(txd, converted, error, &skipped)) {
            const uint32_t n = std::min(converted.texture_count(), 2u);
            for (uint32_t t = 0; t < n; ++t)
                read_texture(converted, t);
        }
    }

    if (txd.texture_count() > 0) {
        (void)txd.rename_texture(0, "renamed_texture", name_kind::texture);
        (void)txd.rename_texture(0, "", name_kind::mask);
        (void)txd.texture_name(0, name_kind::texture);
        (void)txd.move_texture_down(0);
        (void)txd.move_texture_up(1);
        (void)txd.move_texture_up(0);
    }
    (void)txd.set_version(0x1803FFFF);
    const auto saved = scratch() / "saved.txd";
    txd.last_error.clear();
    expect_message(txd.save(saved, 0), txd, "save refused without a message");
    if (txd.texture_count() > 0) {
        txd.last_error.clear();
        expect_message(txd.delete_texture(txd.texture_count() - 1), txd,
                       "delete refused without a message");
        (void)txd.delete_texture(txd.texture_count());
        if (txd.texture_count() > 0) read_texture(txd, 0);
    }
}

template <class Dictionary> void drive_dictionary(std::span<const uint8_t> data) {
    const auto path = put("input.txd", data);
    Dictionary txd;
    if (!txd.load(path, 0, 0x16, 0)) {
        if (txd.last_error.empty()) broken("load failed without a message");
        return;
    }
    drive_loaded(txd);
}

// What opening a file does: every platform class in table order until one accepts the file; each
// refusal carries a message. The accepting dictionary is driven like the per-class targets.
inline void drive_open(const std::filesystem::path& path, uint32_t max_textures) {
    for (const platform_entry& entry : platform_table()) {
        std::unique_ptr<ps2_txd> txd = entry.create();
        if (!txd->load(path, 0, 0x16, 0)) {
            if (txd->last_error.empty()) broken("load failed without a message");
            continue;
        }
        drive_loaded(*txd, max_textures);
        return;
    }
}

// The chunk stream on its own: open, walk, load everything, write back; a file that opens
// saves to exactly the bytes of its root chunk. Also the raw-section import of the same bytes.
inline void drive_stream(std::span<const uint8_t> data) {
    const auto path = put("input.rw", data);
    for (uint32_t flags : {0u, rw_stream::flag_skip_length_check}) {
        rw_stream stream;
        if (!stream.open(path, 0, 0, flags)) {
            if (stream.last_error.empty()) broken("open failed without a message");
            continue;
        }
        (void)stream.find_chunk(0);
        (void)stream.find_chunk(1, 0);
        (void)stream.find_chunk(2, 1, 0);
        (void)stream.find_chunk(3, 1, 3, 1);
        (void)stream.find_chunk(1, -1);
        if (!stream.load_all()) continue;
        const auto out = scratch() / "stream.rw";
        if (!stream.save(out, 0)) continue;
        const std::vector<uint8_t> written = slurp(out);
        const uint64_t root_bytes = uint64_t(stream.root->size) + k_chunk_header_bytes;
        if (written.size() != root_bytes || root_bytes > data.size() ||
            !std::equal(written.begin(), written.end(), data.begin()))
            broken("an unedited tree does not save to the bytes it was read from");
    }
    ps2_txd target;
    target.create_empty(0x1803FFFF);
    const bool added = target.add_raw_section(path);
    expect_message(added, target, "raw section refused without a message");
    if (added) {
        const uint32_t last = target.texture_count() - 1;
        read_texture(target, last);
        export_texture(target, last);
    }
}

// A dictionary built in memory holding a plain and a swizzled texture of the given size and
// depth (and a texture of another depth, which a replace must refuse), for the replace paths of
// the image readers.
inline void make_targets(ps2_txd& txd, uint32_t width, uint32_t height, uint32_t depth) {
    txd.create_empty(0x1803FFFF);
    const uint32_t other = depth == 8 ? 4 : 8;
    for (auto [d, swizzled] :
         {std::pair{depth, false}, std::pair{depth, true}, std::pair{other, false}}) {
        auto texture =
            txd.build_texture_native("", nullptr, "target", width, height, d, nullptr, swizzled);
        if (texture) (void)txd.append_texture(std::move(texture));
    }
}

// Largest picture the image drivers build a matching dictionary for.
inline constexpr uint32_t k_max_target_dimension = 256;

inline void drive_bmp(std::span<const uint8_t> data) {
    {
        ps2_bitmap bitmap;
        if (!bitmap.read_bmp(data)) {
            if (bitmap.last_error.empty()) broken("read_bmp failed without a message");
        } else {
            const uint32_t d = bitmap.depth();
            const uint64_t pixel_bytes = raster_bytes(bitmap.width(), bitmap.height(), d);
            if (pixel_bytes <= (uint64_t(64) << 20)) {
                std::vector<uint8_t> raster(static_cast<size_t>(pixel_bytes));
                (void)bitmap.pixels_to_raster(raster, true);
                (void)bitmap.pixels_to_raster(raster, false);
            }
            if (d == 4 || d == 8) {
                std::vector<uint8_t> entries(size_t(4) << d);
                (void)bitmap.palette_to_raster(entries, true);
                (void)bitmap.palette_to_raster(entries, false);
            }
            (void)bitmap.bmp_bytes();
        }
    }
    // The same bytes as a file, through the dictionary's replace.
    ps2_bitmap probe;
    if (probe.read_bmp(data) && probe.width() <= k_max_target_dimension &&
        probe.height() <= k_max_target_dimension && probe.width() > 0 && probe.height() > 0) {
        const auto path = put("input.bmp", data);
        ps2_txd txd;
        make_targets(txd, probe.width(), probe.height(), probe.depth());
        for (uint32_t t = 0; t < txd.texture_count(); ++t) {
            txd.last_error.clear();
            expect_message(txd.replace_texture(t, path, export_type::bmp, t % 2 == 0), txd,
                           "BMP replace refused without a message");
            (void)txd.render(t, view_mode::mixed, swizzle_mode::as_stored, nullptr, 0);
        }
    }
}

// DDS reading: whatever is accepted has every level at its size, decodes level by level, and
// writes back into a file that reads as the same picture.
inline void drive_dds(std::span<const uint8_t> data) {
    dds_image image;
    std::string error;
    if (!read_dds(data, image, error)) {
        if (error.empty()) broken("DDS read failed without a message");
        if (!image.levels.empty()) broken("a refused DDS left levels behind");
        return;
    }
    if (image.levels.empty() || image.levels.size() > k_dds_max_levels)
        broken("DDS level count outside 1..15");
    for (uint32_t level = 0; level < image.levels.size(); ++level) {
        const uint32_t w = std::max<uint32_t>(1, image.width >> level);
        const uint32_t h = std::max<uint32_t>(1, image.height >> level);
        if (image.levels[level].size() != dds_level_bytes(image.format, w, h))
            broken("DDS level does not have its size");
        if (level < k_max_levels_driven && dds_level_rgba(image, level).size() != size_t(w) * h * 4)
            broken("DDS level does not decode to its picture");
    }
    const std::vector<uint8_t> again = write_dds(image, error);
    dds_image back;
    if (again.empty() || !read_dds(again, back, error))
        broken("an accepted DDS does not write back");
    if (back.format != image.format || back.width != image.width || back.height != image.height ||
        back.levels != image.levels)
        broken("a written DDS reads as another picture");
}

inline void drive_tim2(std::span<const uint8_t> data) {
    tim2_file tim2;
    if (!tim2.read(data)) {
        if (tim2.last_error.empty()) broken("TIM2 read failed without a message");
    }
    (void)tim2.picture_depth();
    for (size_t i = 0; i < tim2.pictures.size(); ++i)
        (void)tim2.holds_swizzled_pixels(i);
    (void)tim2.bytes();

    const auto path = put("input.tm2", data);
    ps2_txd txd;
    txd.create_empty(0x1803FFFF);
    for (swizzle_mode swizzle : {swizzle_mode::as_stored, swizzle_mode::off, swizzle_mode::on}) {
        txd.last_error.clear();
        const bool added = txd.add_tim2_texture(path, swizzle);
        expect_message(added, txd, "TIM2 add refused without a message");
        // The added textures differ only in their order of pixels: one full pass is enough.
        if (added && swizzle == swizzle_mode::on) {
            const uint32_t last = txd.texture_count() - 1;
            read_texture(txd, last);
            export_texture(txd, last);
        } else if (added) {
            (void)txd.render(txd.texture_count() - 1, view_mode::mixed, swizzle_mode::as_stored,
                             nullptr, 0);
        }
    }
    if (!tim2.pictures.empty()) {
        const auto& header = tim2.pictures[0].header;
        if (header.width > 0 && header.height > 0 && header.width <= k_max_target_dimension &&
            header.height <= k_max_target_dimension) {
            ps2_txd targets;
            make_targets(targets, header.width, header.height, tim2.picture_depth());
            for (uint32_t t = 0; t < targets.texture_count(); ++t) {
                targets.last_error.clear();
                expect_message(targets.replace_texture(t, path, export_type::tim2, true), targets,
                               "TIM2 replace refused without a message");
                (void)targets.render(t, view_mode::mixed, swizzle_mode::as_stored, nullptr, 0);
            }
        }
    }
}

// The settings reader: every function on the bytes as a settings file; a written key reads back.
inline void drive_ini(std::span<const uint8_t> data) {
    const auto path = put("Quillmap.ini", data);
    (void)profile_read_string(path, "main", "platform_priority", "PS2,PC,iOS", 60);
    (void)profile_read_string(path, "MAIN", "missing", "", 1);
    (void)profile_read_int(path, "main", "enable_warnings", 1);
    (void)profile_read_int(path, "rw_version", "0x1803FFFF", -1);
    (void)profile_read_section(path, "recent_files", 4096);
    (void)profile_read_section(path, "rw_version", 16);
    (void)profile_read_section(path, "", 64);
    // Names taken from the input itself reach the lookups too.
    if (data.size() > 4) {
        const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
        const size_t cut = std::min<size_t>(text.size() / 2, 32);
        (void)profile_read_string(path, text.substr(0, cut), text.substr(cut, cut), "", 256);
    }
    if (profile_write_string(path, "main", "fuzz_key", "value 1")) {
        if (profile_read_string(path, "main", "fuzz_key", "", 256) != "value 1")
            broken("a written key does not read back");
    }
    (void)profile_write_string(path, "new section", "k", "v");
    (void)profile_read_section(path, "main", 65536);
}

// TEX containers are not chunk files: the loader builds the PS2 tree in memory.
inline void drive_tex(std::span<const uint8_t> data) {
    const auto path = put("input.tex", data);
    tex_txd txd;
    if (!txd.load(path, 0, 0x16, 0)) {
        if (txd.last_error.empty()) broken("TEX load failed without a message");
        return;
    }
    drive_loaded(txd);
}

// Game archives: both entry tables from the same bytes, then the file-reading paths (a VER2
// file and a .dir/.img pair), and the dictionaries the entries point at, opened in place.
inline void check_entries(bool ok, const std::string& error,
                          const std::vector<archive_entry>& entries, uint64_t data_length) {
    if (!ok && error.empty()) broken("archive refused without a message");
    if (entries.size() > k_archive_max_entries) broken("archive entry cap exceeded");
    for (const auto& entry : entries) {
        if (entry.inside != fits(entry.offset, entry.size, data_length))
            broken("archive entry inside flag wrong");
        if (entry.name.size() > k_archive_name_bytes) broken("archive entry name too long");
    }
}

inline void drive_archive(std::span<const uint8_t> data) {
    std::vector<archive_entry> entries;
    std::string error;
    check_entries(parse_ver2_table(data, data.size(), entries, error), error, entries, data.size());
    error.clear();
    check_entries(parse_dir_table(data, data.size(), entries, error), error, entries, data.size());

    const auto img = put("input.img", data);
    const auto dir = put("pair.dir", data);
    (void)put("pair.img", data);
    for (const auto& path : {img, dir}) {
        game_archive archive;
        error.clear();
        const bool ok = open_game_archive(path, archive, error);
        check_entries(ok, error, archive.entries, archive.data_length);
        if (!ok) continue;
        uint32_t opened = 0;
        for (const auto& entry : archive.entries) {
            if (!entry.inside || entry.offset > UINT32_MAX || opened >= 4) continue;
            ++opened;
            auto probe =
                probe_dictionary(archive.data_path, uint32_t(entry.offset), k_all_platforms);
            if (probe.dictionary) drive_loaded(*probe.dictionary, 2);
        }
    }
}

// The edit paths: the first byte chooses the archive kind and one edit, the rest is the table
// and data (a VER2 file, or the same bytes as both halves of a pair). After an edit that
// succeeds, the archive must open again and every entry the edit did not touch must hold the
// bytes it held; after one that fails, there must be a message.
inline void drive_archive_edit(std::span<const uint8_t> data) {
    if (data.empty()) return;
    const uint8_t choice = data[0];
    const auto rest = data.subspan(1);
    const bool pair = choice & 0x80;
    const auto path = pair ? put("edit.dir", rest) : put("edit.img", rest);
    if (pair) (void)put("edit.img", rest);
    game_archive archive;
    std::string error;
    if (!open_game_archive(path, archive, error)) {
        if (error.empty()) broken("archive refused without a message");
        return;
    }
    const size_t count = archive.entries.size();
    // The entries' bytes before the edit (a few, bounded), by index. Entries over the VER2 table
    // itself hold table bytes, which an edit of the table changes by design: they are not kept.
    const uint64_t table_end =
        archive.kind == archive_kind::ver2 ? (count + 2) * k_archive_entry_bytes + 8 : 0;
    constexpr size_t k_checked = 8;
    std::vector<std::pair<size_t, std::vector<uint8_t>>> before;
    for (size_t i = 0; i < count && before.size() < k_checked; ++i) {
        std::vector<uint8_t> bytes;
        const auto& entry = archive.entries[i];
        if (entry.inside && !entry.overlaps && entry.size <= (1u << 16) &&
            entry.offset >= table_end && read_entry_bytes(archive, i, bytes, error))
            before.emplace_back(i, std::move(bytes));
    }
    const size_t target = count ? (choice >> 3) % count : 0;
    const std::vector<uint8_t> fresh(size_t(choice) * 37 % 5000, uint8_t(choice));
    bool ok = false;
    bool removed = false; // the target's row is gone: later rows move up by one
    error.clear();
    switch (choice % 5) {
    case 0:
        ok = count && replace_entry(archive, target, fresh, error);
        break;
    case 1:
        ok = add_entry(archive, "fuzz_added.txd", fresh, error);
        break;
    case 2:
        ok = count && delete_entries(archive, {target}, error);
        removed = true;
        break;
    case 3:
        ok = count && rename_entry(archive, target, "fuzz_renamed", error);
        break;
    default:
        ok = compact_archive(archive, {}, {}, error);
        break;
    }
    if (!ok) {
        if (count && error.empty()) broken("archive edit failed without a message");
        return;
    }
    game_archive again;
    if (!open_game_archive(path, again, error)) broken("archive does not open after an edit");
    if (!same_entries(again.entries, archive.entries)) broken("table in memory differs from disk");
    const bool target_changed = choice % 5 == 0;
    for (const auto& [index, bytes] : before) {
        if (index == target && (target_changed || removed)) continue;
        const size_t now_index = removed && index > target ? index - 1 : index;
        std::vector<uint8_t> now;
        if (now_index >= again.entries.size() || !read_entry_bytes(again, now_index, now, error) ||
            now != bytes)
            broken("an entry the edit did not touch changed");
    }
}

} // namespace qm_fuzz

} // namespace quillmap
