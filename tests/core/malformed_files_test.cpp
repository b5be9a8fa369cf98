// Deterministic damage to every sample and generated file: truncation at chunk boundaries and at
// pseudo-random points, flipped header bits, and size, count, dimension, depth and offset fields
// set to 0, 1, 0x7FFFFFFF and 0xFFFFFFFF. Each damaged file goes through what opening,
// previewing, exporting, editing and saving do; every step must end with a result or a message,
// and no step may allocate far beyond the size of the file.
#include "../../fuzz/fuzz_drivers.h"
#include "../../fuzz/heap_watch.h"
#include "../../fuzz/seed_inputs.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>

namespace quillmap {

namespace {

using qm_fuzz::heap_budget;
using qm_fuzz::heap_watch;

// Where the fields worth damaging lie in a file.
struct field {
    size_t offset;
    int width; // bytes: 1, 2 or 4
};

struct file_map {
    std::vector<size_t> boundaries; // chunk starts and ends of chunk headers, every chunk
    std::vector<field> header_fields;
    std::vector<field> value_fields;
};

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    if (at + 4 > b.size()) return 0;
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}

constexpr size_t k_max_chunks_mapped = 32;
constexpr uint32_t k_max_textures_mapped = 3;

// Follows the chunk layout of the file (the same container rule as the stream) and notes the
// header fields of the first chunks and the value fields of the first textures.
void map_chunks(const std::vector<uint8_t>& b, size_t offset, size_t end, uint32_t parent_id,
                uint32_t index, int depth, uint32_t& textures, file_map& map) {
    if (depth > 8 || offset + 12 > end) return;
    const uint32_t id = le32(b, offset), size = le32(b, offset + 4);
    const size_t data = offset + 12;
    if (size > end - data) return;
    // Every chunk gives two truncation points (cheap: the walk stops early); the costlier
    // header damage is limited to the first chunks.
    map.boundaries.push_back(offset);
    map.boundaries.push_back(data);
    if (map.header_fields.size() < 3 * k_max_chunks_mapped) {
        map.header_fields.push_back({offset, 4});
        map.header_fields.push_back({offset + 4, 4});
        map.header_fields.push_back({offset + 8, 4});
        map.value_fields.push_back({offset + 4, 4});
    }
    const bool container =
        (index == 3 && parent_id == 0x15) || (id != 0x01 && id != 0x02 && id != 0x110);
    if (!container) {
        if (id != 0x01 || textures > k_max_textures_mapped) return;
        if (parent_id == 0x16 && index == 0) {
            map.value_fields.push_back({data, 1}); // texture count
        } else if (parent_id == 0x15 && index == 0 && size >= 4 && b[data] != 'P') {
            // PC, XBOX and mobile textures keep sizes, format and levels in this Struct.
            for (size_t at : {72, 76, 88})
                map.value_fields.push_back({data + at, 4});
            for (size_t at : {80, 82})
                map.value_fields.push_back({data + at, 2});
            for (size_t at : {84, 85, 86, 87})
                map.value_fields.push_back({data + at, 1});
            if (size >= 96) map.value_fields.push_back({data + 92, 4}); // first level's size word
        } else if (parent_id == 0x01 && index == 0) {
            for (size_t at : {0, 4, 8, 12, 52})
                map.value_fields.push_back({data + at, 4});
        } else if (parent_id == 0x01 && index == 1) {
            for (size_t at : {0, 4, 32, 36, 64})
                map.value_fields.push_back({data + at, 4});
        }
        return;
    }
    if (id == 0x15) ++textures;
    size_t position = data;
    for (uint32_t child = 0; position < data + size && child < 512; ++child) {
        const size_t child_size = le32(b, position + 4);
        map_chunks(b, position, data + size, id, child, depth + 1, textures, map);
        position += 12 + child_size;
    }
}

file_map map_dictionary(const std::vector<uint8_t>& bytes) {
    file_map map;
    uint32_t textures = 0;
    map_chunks(bytes, 0, bytes.size(), 0, 0, 0, textures, map);
    return map;
}

file_map map_tim2(const std::vector<uint8_t>& bytes) {
    file_map map;
    map.boundaries = {4, 8, 16};
    map.value_fields = {{4, 1}, {5, 1}, {6, 2}};
    const size_t picture = bytes.size() > 5 && bytes[5] == 1 ? 128 : 16;
    const uint32_t header_size =
        bytes.size() >= picture + 16 ? (bytes[picture + 12] | bytes[picture + 13] << 8) : 48;
    for (size_t at : {0, 4, 8})
        map.value_fields.push_back({picture + at, 4});
    for (size_t at : {12, 14, 20, 22})
        map.value_fields.push_back({picture + at, 2});
    for (size_t at : {16, 17, 18, 19})
        map.value_fields.push_back({picture + at, 1});
    map.value_fields.push_back({picture + 72, 1}); // our swizzle marker
    map.header_fields = {
        {0, 4}, {4, 4}, {picture, 4}, {picture + 12, 4}, {picture + 16, 4}, {picture + 20, 4}};
    map.boundaries.push_back(picture);
    map.boundaries.push_back(picture + header_size);
    map.boundaries.push_back(picture + header_size + le32(bytes, picture + 8));
    return map;
}

file_map map_bmp(const std::vector<uint8_t>&) {
    file_map map;
    map.boundaries = {2, 14, 18, 54, 54 + 64, 54 + 1024};
    map.value_fields = {{2, 4},  {10, 4}, {14, 4}, {18, 4}, {22, 4},
                        {26, 2}, {28, 2}, {30, 4}, {34, 4}, {46, 4}};
    map.header_fields = {{0, 4}, {10, 4}, {14, 4}, {18, 4}, {22, 4}, {28, 4}};
    return map;
}

file_map map_tex(const std::vector<uint8_t>& bytes) {
    file_map map;
    map.boundaries = {4, 32, 40, 44, 48};
    map.value_fields = {{40, 4}, {44, 4}};
    map.header_fields = {{0, 4}, {40, 4}};
    // Records, their raster headers, in list order (bounded).
    size_t link = le32(bytes, 40);
    for (int i = 0; i < 4 && link != 40 && link >= 8 && link + 72 <= bytes.size(); ++i) {
        const size_t record = link - 8;
        const size_t raster = le32(bytes, record);
        map.boundaries.push_back(record);
        map.value_fields.push_back({record, 4});
        map.value_fields.push_back({record + 8, 4});
        map.header_fields.push_back({record + 8, 4});
        for (size_t at : {0, 4, 8, 12})
            map.value_fields.push_back({raster + at, 4});
        map.boundaries.push_back(raster);
        map.boundaries.push_back(raster + 16);
        link = le32(bytes, record + 8);
    }
    return map;
}

file_map map_ini(const std::vector<uint8_t>& bytes) {
    file_map map;
    for (size_t i = 0; i < bytes.size(); ++i)
        if (bytes[i] == '\n' || bytes[i] == '[' || bytes[i] == '=') map.boundaries.push_back(i + 1);
    for (size_t i = 0; i < bytes.size(); i += 7)
        map.header_fields.push_back({i, 1});
    return map;
}

constexpr size_t k_large_file = 32 * 1024;
constexpr size_t k_large_file_variants = 48;

enum class kind { dictionary, tim2, bmp, tex, ini };

struct malformed_case {
    std::string name;
    kind type;
    std::vector<uint8_t> bytes;
};

void put_value(std::vector<uint8_t>& b, const field& f, uint32_t value) {
    for (int i = 0; i < f.width && f.offset + i < b.size(); ++i)
        b[f.offset + i] = uint8_t(value >> (8 * i));
}

// The damaged variants of one file, each with a label saying what was done.
std::vector<std::pair<std::string, std::vector<uint8_t>>> damage(const malformed_case& c,
                                                                 const file_map& map) {
    std::vector<std::pair<std::string, std::vector<uint8_t>>> out;
    const auto& b = c.bytes;
    std::vector<size_t> cuts = map.boundaries;
    uint32_t seed = 0x9E3779B9u ^ static_cast<uint32_t>(b.size());
    for (int i = 0; i < 8 && !b.empty(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        cuts.push_back(seed % b.size());
    }
    cuts.push_back(0);
    cuts.push_back(b.size() > 0 ? b.size() - 1 : 0);
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    for (size_t cut : cuts)
        if (cut < b.size())
            out.emplace_back(
                "truncated at " + std::to_string(cut),
                std::vector<uint8_t>(b.begin(), b.begin() + static_cast<ptrdiff_t>(cut)));

    const size_t truncations = out.size();
    int flip = 0;
    for (const field& f : map.header_fields) {
        if (f.offset + f.width > b.size()) continue;
        auto copy = b;
        const size_t at = f.offset + static_cast<size_t>(flip % f.width);
        copy[at] ^= uint8_t(1u << (flip % 8));
        out.emplace_back("bit " + std::to_string(flip % 8) + " of byte " + std::to_string(at) +
                             " flipped",
                         std::move(copy));
        ++flip;
    }
    for (const field& f : map.value_fields) {
        if (f.offset + f.width > b.size()) continue;
        const uint32_t top = f.width == 4 ? 0xFFFFFFFFu : f.width == 2 ? 0xFFFFu : 0xFFu;
        for (uint32_t value : {0u, 1u, top >> 1, top}) {
            auto copy = b;
            put_value(copy, f, value);
            out.emplace_back(std::to_string(f.width) + "-byte field at " +
                                 std::to_string(f.offset) + " set to " + std::to_string(value),
                             std::move(copy));
        }
    }
    // Large files cost the most per copy: every truncation stays, the other damage is thinned
    // out evenly so that each file gets a similar share of the run time.
    if (b.size() > k_large_file && out.size() > truncations + k_large_file_variants) {
        const size_t others = out.size() - truncations;
        const size_t step = (others + k_large_file_variants - 1) / k_large_file_variants;
        std::vector<std::pair<std::string, std::vector<uint8_t>>> kept;
        for (size_t i = 0; i < out.size(); ++i)
            if (i < truncations || (i - truncations) % step == 0) kept.push_back(std::move(out[i]));
        out = std::move(kept);
    }
    if (c.type == kind::tex && b.size() >= 48) {
        // Lists that never return to the head: a record naming itself, and a cycle past the head.
        const uint32_t first = le32(b, 40);
        auto self = b;
        if (first >= 8 && first + 4 <= self.size()) {
            put_value(self, {first, 4}, first);
            out.emplace_back("record linked to itself", std::move(self));
        }
    }
    return out;
}

void handle(kind type, const std::vector<uint8_t>& bytes) {
    switch (type) {
    case kind::dictionary: {
        const auto path = qm_fuzz::put("malformed.txd", bytes);
        qm_fuzz::drive_open(path, 2);
        rw_stream stream;
        if (stream.open(path, 0, 0, rw_stream::flag_skip_length_check)) {
            (void)stream.load_all();
        } else if (stream.last_error.empty()) {
            qm_fuzz::broken("open failed without a message");
        }
        break;
    }
    case kind::tim2:
        qm_fuzz::drive_tim2(bytes);
        break;
    case kind::bmp:
        qm_fuzz::drive_bmp(bytes);
        break;
    case kind::tex:
        qm_fuzz::drive_tex(bytes);
        break;
    case kind::ini:
        qm_fuzz::drive_ini(bytes);
        break;
    }
}

std::vector<uint8_t> exported_bmp(const std::vector<uint8_t>& dictionary, view_mode mode) {
    ps2_txd txd;
    const auto path = write_temp("bmp_source.txd", dictionary);
    if (!txd.load(path, 0, 0x16, 0)) return {};
    const auto out = temp_dir() / "exported.bmp";
    if (!txd.export_texture(0, mode, export_type::bmp, &out, swizzle_mode::as_stored)) return {};
    return read_file(out);
}

std::vector<malformed_case> cases() {
    std::vector<malformed_case> out;
    for (const auto& file : sample_files(".txd"))
        out.push_back({file.stem().string(), kind::dictionary, read_file(file)});
    for (const auto& file : sample_files(".tm2"))
        out.push_back({file.stem().string(), kind::tim2, read_file(file)});
    const auto dictionaries = qm_seeds::generated_dictionaries();
    for (const auto& input : dictionaries)
        out.push_back({input.name, kind::dictionary, input.bytes});
    for (const auto& input : dictionaries) {
        if (input.name != "gen_d4_plain" && input.name != "gen_d8_plain_levels" &&
            input.name != "gen_d16" && input.name != "gen_d32_swizzled")
            continue;
        for (view_mode mode : {view_mode::texture, view_mode::mixed}) {
            auto bmp = exported_bmp(input.bytes, mode);
            if (!bmp.empty())
                out.push_back({input.name + "_bmp_view" + std::to_string(view_mode_number(mode)),
                               kind::bmp, std::move(bmp)});
        }
    }
    out.push_back({"three_forms_tex", kind::tex, qm_seeds::make_tex_file()});
    for (const auto& input : qm_seeds::generated_ini_files())
        out.push_back({input.name + "_ini", kind::ini, input.bytes});
    return out;
}

// Test names and failure reports show the file's name, not its bytes.
void PrintTo(const malformed_case& c, std::ostream* os) {
    *os << c.name;
}

class MalformedFiles : public ::testing::TestWithParam<malformed_case> {};

std::string failure_context;
void record_broken(const char* what) {
    ADD_FAILURE() << what << " (" << failure_context << ")";
}

TEST_P(MalformedFiles, EveryDamagedCopyEndsCleanly) {
    const malformed_case& c = GetParam();
    ASSERT_FALSE(c.bytes.empty());
    file_map map;
    switch (c.type) {
    case kind::dictionary:
        map = map_dictionary(c.bytes);
        break;
    case kind::tim2:
        map = map_tim2(c.bytes);
        break;
    case kind::bmp:
        map = map_bmp(c.bytes);
        break;
    case kind::tex:
        map = map_tex(c.bytes);
        break;
    case kind::ini:
        map = map_ini(c.bytes);
        break;
    }
    const auto variants = damage(c, map);
    ASSERT_GT(variants.size(), 8u);

    qm_fuzz::on_broken = record_broken;
    heap_watch heap;
    for (const auto& [label, bytes] : variants) {
        failure_context = c.name + ": " + label;
        heap.start();
        handle(c.type, bytes);
        const size_t used = heap.stop();
        EXPECT_LE(used, heap_budget(bytes.size())) << failure_context;
        if (::testing::Test::HasFailure()) break; // one clear report per file is enough
    }
    qm_fuzz::on_broken = qm_fuzz::abort_on_broken;
}

// The undamaged file goes through the same steps; this keeps the damage meaningful (the paths
// that the damage cuts short are really taken for the intact file).
TEST_P(MalformedFiles, TheIntactFileIsHandled) {
    const malformed_case& c = GetParam();
    qm_fuzz::on_broken = record_broken;
    failure_context = c.name + ": intact";
    heap_watch heap;
    heap.start();
    handle(c.type, c.bytes);
    EXPECT_LE(heap.stop(), heap_budget(c.bytes.size()));
    qm_fuzz::on_broken = qm_fuzz::abort_on_broken;
}

std::string case_name(const ::testing::TestParamInfo<malformed_case>& info) {
    std::string name = info.param.name;
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(SamplesAndGenerated, MalformedFiles, ::testing::ValuesIn(cases()),
                         case_name);

// A TEX file whose records all name one raster: positions are absolute, so nothing in the layout
// stops records from sharing pixels, and each shared copy would cost memory the file never paid.
std::vector<uint8_t> tex_records_sharing_one_raster(uint32_t records) {
    constexpr uint32_t k_side_log2 = 8, k_depth = 8;
    std::vector<uint8_t> out(48 + 16, 0);
    const auto put32 = [&out](size_t at, uint32_t value) {
        if (out.size() < at + 4) out.resize(at + 4, 0);
        for (int i = 0; i < 4; ++i)
            out[at + i] = uint8_t(value >> (8 * i));
    };
    put32(0, 0x00746578);
    const size_t raster = 48;
    const size_t pixels = raster + 16;
    put32(raster, uint32_t(pixels));
    put32(raster + 4, k_side_log2 | k_side_log2 << 6 | k_depth << 12);
    out.resize(pixels + (size_t(1) << (2 * k_side_log2)) + 1024, 0x5A);
    const size_t first_record = out.size();
    for (uint32_t r = 0; r < records; ++r) {
        const size_t record = first_record + size_t(r) * 80;
        put32(record, uint32_t(raster));
        put32(record + 8, r + 1 < records ? uint32_t(record + 80 + 8) : 40u);
    }
    put32(40, uint32_t(first_record + 8));
    return out;
}

TEST(MalformedFilesShared, TexRecordsSharingOneRasterStayWithinTheHeapBudget) {
    const std::vector<uint8_t> bytes = tex_records_sharing_one_raster(tex_txd::k_max_records);
    const auto path = qm_fuzz::put("shared.tex", bytes);
    heap_watch heap;
    heap.start();
    {
        tex_txd txd;
        const bool loaded = txd.load(path, 0, 0x16, 0);
        EXPECT_TRUE(loaded || !txd.last_error.empty());
    }
    const size_t used = heap.stop();
    if (!heap_watch::available())
        GTEST_SKIP() << "heap use is only measured under AddressSanitizer";
    EXPECT_LE(used, heap_budget(bytes.size())) << "file of " << bytes.size() << " bytes";
}

TEST(MalformedFilesSetup, HeapIsWatchedUnderTheSanitizer) {
    if (!heap_watch::available())
        GTEST_SKIP() << "heap use is only measured under AddressSanitizer";
    heap_watch heap;
    heap.start();
    std::vector<uint8_t> block(1 << 20, 1);
    EXPECT_GE(heap.stop(), size_t(1) << 20);
    EXPECT_EQ(block[12345], 1);
}

} // namespace

} // namespace quillmap
