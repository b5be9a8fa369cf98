#include "stream/rw_ids.h"
#include "stream/rw_stream.h"
#include "stream/section_name.h"
#include "test_files.h"

#include <gtest/gtest.h>

namespace quillmap {

namespace {

test_chunk two_texture_dictionary() {
    return make_dictionary({make_ps2_texture({.name = "a"}), make_ps2_texture({.name = "b"})});
}

TEST(SectionName, NamesTheKnownIdsAndNotTheRest) {
    EXPECT_STREQ(section_name(0x16), "Texture Dictionary");
    EXPECT_STREQ(section_name(0x110), "Sky Mipmap Val");
    EXPECT_STREQ(section_name(0x04), "");
    EXPECT_STREQ(section_name(0x11), "");
    EXPECT_STREQ(section_name(0x2C), "Coll Tree");
    EXPECT_STREQ(section_name(0x11F), "User Data PLG");
    for (uint32_t id : {0x0u, 0x2Du, 0x100u, 0x120u, 0xFFFFFFFFu})
        EXPECT_STREQ(section_name(id), "N/A") << id;
}

TEST(RwStream, WalksTheTreeWithTheContainerRule) {
    auto path = write_temp("two.txd", two_texture_dictionary().bytes());
    rw_stream stream;
    ASSERT_TRUE(stream.open(path, 0, 0x16, 0)) << stream.last_error;
    ASSERT_EQ(stream.root->child_count(), 4u); // Struct, two textures, Extension
    rw_chunk* texture = stream.find_chunk(1, 1);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->child_count(), 5u);
    // The fourth child of a texture native is a container; other Structs are leaves.
    EXPECT_EQ(texture->child(3)->child_count(), 2u);
    EXPECT_EQ(texture->child(0)->child_count(), 0u);
    EXPECT_TRUE(texture->child(0)->has_data());
    // An empty Extension is a container without children.
    EXPECT_EQ(stream.root->child(3)->id, rw_id_extension);
    EXPECT_EQ(stream.root->child(3)->child_count(), 0u);
    EXPECT_EQ(stream.find_chunk(0), stream.root.get());
}

TEST(RwStream, FindChunkRejectsIndicesOutsideTheChildren) {
    auto path = write_temp("two.txd", two_texture_dictionary().bytes());
    rw_stream stream(path);
    ASSERT_TRUE(stream.root);
    EXPECT_EQ(stream.find_chunk(1, 4), nullptr);
    EXPECT_EQ(stream.last_error, "Wrong section ID.");
    EXPECT_EQ(stream.find_chunk(2, 1, -1), nullptr);
    EXPECT_NE(stream.find_chunk(3, 1, 3, 1), nullptr);
}

TEST(RwStream, PreloadsLeavesUpToSixtyFourBytes) {
    auto root = node(
        0x03, {leaf(0x01, std::vector<uint8_t>(64, 1)), leaf(0x01, std::vector<uint8_t>(65, 2))});
    auto path = write_temp("leaves.bin", root.bytes());
    rw_stream stream;
    ASSERT_TRUE(stream.open(path, 0, 0, 0));
    EXPECT_TRUE(stream.root->child(0)->has_data());
    EXPECT_FALSE(stream.root->child(1)->has_data());
    // Nodes 3 x 28, one block of child slots, 64 preloaded bytes.
    EXPECT_EQ(stream.allocated_bytes, 3u * 28 + 256 + 64);
    auto* data = stream.load_data(stream.root->child(1));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->size(), 65u);
    EXPECT_EQ((*data)[64], 2);
    EXPECT_EQ(stream.allocated_bytes, 3u * 28 + 256 + 64 + 65);
}

TEST(RwStream, KeepsMoreThanSixtyFourChildren) {
    std::vector<test_chunk> children;
    for (int i = 0; i < 130; ++i)
        children.push_back(leaf(0x01, {uint8_t(i)}));
    auto path = write_temp("many.bin", node(0x03, children).bytes());
    rw_stream stream;
    ASSERT_TRUE(stream.open(path, 0, 0, 0));
    ASSERT_EQ(stream.root->child_count(), 130u);
    EXPECT_EQ((*stream.root->child(129)->data)[0], 129);
    // 131 nodes, three blocks of 64 slots, one byte per leaf.
    EXPECT_EQ(stream.allocated_bytes, 131u * 28 + 3 * 256 + 130);
}

TEST(RwStream, RootChecks) {
    auto bytes = two_texture_dictionary().bytes();
    auto path = write_temp("d.txd", bytes);
    rw_stream stream;
    EXPECT_FALSE(stream.open(path, 0, 0x15, 0));
    EXPECT_EQ(stream.last_error, "Wrong root section ID.");
    EXPECT_TRUE(stream.open(path, 0, 0, 0));
    EXPECT_FALSE(stream.open(temp_dir() / "missing.txd", 0, 0, 0));
    EXPECT_EQ(stream.last_error, "Cant open RW stream file");

    // A root size beyond the file is refused unless the length check is skipped.
    auto grown = bytes;
    grown[4] += 12;
    grown.insert(grown.end(), {0x03, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0x03}); // 11 bytes: too short
    auto bad = write_temp("bad.txd", grown);
    EXPECT_FALSE(stream.open(bad, 0, 0x16, 0));
    EXPECT_EQ(stream.last_error, "It's not a valid RW file");
}

TEST(RwStream, SkippingTheLengthCheckStillStaysInsideTheFile) {
    auto texture = make_ps2_texture({});
    auto bytes = texture.bytes();
    bytes[4] += 100; // root claims more than the file holds
    auto path = write_temp("t.rwsect", bytes);
    rw_stream stream;
    EXPECT_FALSE(stream.open(path, 0, 0x15, 0));
    EXPECT_EQ(stream.last_error, "It's not a valid RW file");
    // With the check skipped the walk runs into the end of the file and still fails cleanly.
    EXPECT_FALSE(stream.open(path, 0, 0x15, rw_stream::flag_skip_length_check));
    auto good = write_temp("t.rwsect", texture.bytes());
    EXPECT_TRUE(stream.open(good, 0, 0x15, rw_stream::flag_skip_length_check));
}

struct malformed_case {
    const char* name;
    std::vector<uint8_t> bytes;
};

TEST(RwStream, RefusesMalformedTrees) {
    const auto good = two_texture_dictionary().bytes();
    std::vector<malformed_case> cases;
    cases.push_back({"empty file", {}});
    cases.push_back({"shorter than a header", {0x16, 0, 0, 0, 0}});
    // Child overshooting its container: the Struct claims more than the root holds.
    auto overshoot = good;
    overshoot[16] = 0xF0;
    cases.push_back({"overshooting child", overshoot});
    // Truncated in the middle of the tree (the root size still passes the whole-file check).
    auto truncated = std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 2);
    truncated[4] = 0;
    truncated[5] = 0;
    truncated[4] = uint8_t(truncated.size() - 12);
    truncated[5] = uint8_t((truncated.size() - 12) >> 8);
    cases.push_back({"truncated", truncated});
    // Absurd nesting: containers inside containers, far deeper than any real file.
    std::vector<uint8_t> deep;
    for (int i = 0; i < 200; ++i) {
        auto header = u32_bytes({0x03, uint32_t((199 - i) * 12), 0});
        deep.insert(deep.end(), header.begin(), header.end());
    }
    cases.push_back({"deep nesting", deep});
    for (const auto& c : cases) {
        auto path = write_temp("bad.bin", c.bytes);
        rw_stream stream;
        EXPECT_FALSE(stream.open(path, 0, 0, 0)) << c.name;
        EXPECT_EQ(stream.last_error, "It's not a valid RW file") << c.name;
        EXPECT_EQ(stream.root, nullptr) << c.name;
    }
}

TEST(RwStream, SetVersionStampsEveryChunk) {
    auto path = write_temp("d.txd", two_texture_dictionary().bytes());
    rw_stream stream(path);
    ASSERT_TRUE(stream.set_version(0x1234));
    auto out = temp_dir() / "out.txd";
    ASSERT_TRUE(stream.save(out, 0));
    rw_stream reread(out);
    std::vector<const rw_chunk*> stack = {reread.root.get()};
    size_t seen = 0;
    while (!stack.empty()) {
        const rw_chunk* chunk = stack.back();
        stack.pop_back();
        EXPECT_EQ(chunk->version, 0x1234u);
        ++seen;
        for (const auto& child : chunk->children)
            stack.push_back(child.get());
    }
    EXPECT_GT(seen, 20u);
    rw_stream empty;
    EXPECT_FALSE(empty.set_version(1));
}

TEST(RwStream, SavingOntoTheSourceIsByteIdentical) {
    const auto bytes = two_texture_dictionary().bytes();
    auto path = write_temp("same.txd", bytes);
    rw_stream stream(path);
    ASSERT_TRUE(stream.root);
    ASSERT_TRUE(stream.save(path, 0)) << stream.last_error;
    EXPECT_EQ(read_file(path), bytes);
    // Every data offset is 0 afterwards: the tree no longer depends on the file.
    EXPECT_EQ(stream.root->child(1)->child(3)->child(1)->data_offset, 0u);
    EXPECT_FALSE(std::filesystem::exists(path.string() + ".quillmap-save"));
}

TEST(RwStream, FilesLongerThanTheRootSaveTheTreeOnly) {
    auto bytes = two_texture_dictionary().bytes();
    const size_t tree = bytes.size();
    bytes.resize(tree + 2048 - tree % 2048, 0); // sector padding as archives store it
    auto path = write_temp("padded.txd", bytes);
    rw_stream stream(path);
    ASSERT_TRUE(stream.root) << stream.last_error;
    auto out = temp_dir() / "out.txd";
    ASSERT_TRUE(stream.save(out, 0));
    EXPECT_EQ(read_file(out), std::vector<uint8_t>(bytes.begin(), bytes.begin() + tree));
}

TEST(RwStream, SavingAtAnOffsetKeepsTheSurroundingBytes) {
    const auto dictionary = two_texture_dictionary().bytes();
    std::vector<uint8_t> archive(100, 0xAB);
    archive.insert(archive.end(), dictionary.begin(), dictionary.end());
    archive.insert(archive.end(), 50, 0xCD);
    auto path = write_temp("archive.img", archive);
    rw_stream stream;
    ASSERT_TRUE(stream.open(path, 100, 0x16, 0)) << stream.last_error;
    stream.set_version(0x1003FFFF);
    ASSERT_TRUE(stream.save(path, 100));
    auto after = read_file(path);
    ASSERT_EQ(after.size(), archive.size());
    EXPECT_TRUE(std::equal(archive.begin(), archive.begin() + 100, after.begin()));
    EXPECT_TRUE(std::equal(archive.end() - 50, archive.end(), after.end() - 50));
    EXPECT_EQ(after[108 + 3], 0x10); // the new version's top byte in the root header
}

TEST(RwStream, AFailedSaveLeavesTheTargetUntouched) {
    const auto bytes = two_texture_dictionary().bytes();
    auto dir = temp_dir();
    auto path = write_file(dir / "d.txd", bytes);
    rw_stream stream(path);
    ASSERT_TRUE(stream.root);
    // A target that is a folder.
    EXPECT_FALSE(stream.save(dir, 0));
    EXPECT_FALSE(stream.last_error.empty());
    // A folder that does not exist.
    EXPECT_FALSE(stream.save(dir / "no" / "such.txd", 0));
    EXPECT_EQ(stream.last_error, "Cannot open output file. (such.txd: No such file or directory)");
    EXPECT_EQ(read_file(path), bytes);
}

} // namespace

} // namespace quillmap
