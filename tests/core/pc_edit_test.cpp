#include "session_bytes.h"
#include "test_files.h"

#include "dictionary/pc_raster_check.h"
#include "dictionary/pc_txd.h"
#include "imageio/png_codec.h"
#include "imageio/texture_rgba.h"
#include "raster/display_image.h"
#include "session/edit_history.h"

#include <gtest/gtest.h>

#include <cmath>

namespace quillmap {

namespace {
editor_session opened(const std::filesystem::path& path) {
    editor_session session;
    EXPECT_EQ(session.open(path.string(), 0, k_all_platforms), open_status::opened)
        << path << ": " << session.last_error();
    return session;
}

// Problems lint counts as damage (accepted deviations left out).
std::vector<std::string> damage(ps2_txd& txd) {
    std::vector<std::string> found;
    for (const ps2_problem& p : lint_pc_textures(txd))
        if (!p.accepted)
            found.push_back(std::to_string(p.texture) + " " + p.what + ": " + p.found + " / " +
                            p.expected);
    return found;
}

rgba_image picture_of(ps2_txd& txd, uint32_t t, uint32_t level = 0) {
    std::string error;
    rgba_image out = texture_rgba(txd, t, level, error);
    EXPECT_FALSE(out.rgba.empty()) << error;
    return out;
}

double psnr(const rgba_image& a, const rgba_image& b) {
    if (a.rgba.size() != b.rgba.size() || a.rgba.empty()) return 0;
    double sum = 0;
    for (size_t i = 0; i < a.rgba.size(); ++i) {
        const double d = double(a.rgba[i]) - double(b.rgba[i]);
        sum += d * d;
    }
    if (sum == 0) return 99;
    return 10 * std::log10(255.0 * 255.0 * double(a.rgba.size()) / sum);
}

std::filesystem::path write_png(const std::filesystem::path& dir, const std::string& name,
                                const rgba_image& image) {
    std::string error;
    const auto png = encode_png_rgba(image, error);
    EXPECT_FALSE(png.empty()) << error;
    return write_file(dir / name, png);
}

// Saved, opened again: the same list and pictures, and a second save gives the same bytes.
void expect_round_trip(editor_session& session, const std::filesystem::path& dir) {
    const auto first = dir / "first.txd";
    ASSERT_TRUE(session.dictionary()->save(first, 0)) << session.dictionary()->last_error;
    editor_session again = opened(first);
    ASSERT_TRUE(again.is_open());
    ps2_txd& a = *session.dictionary();
    ps2_txd& b = *again.dictionary();
    ASSERT_EQ(a.texture_count(), b.texture_count());
    for (uint32_t t = 0; t < a.texture_count(); ++t) {
        EXPECT_EQ(a.texture_name(t, name_kind::texture), b.texture_name(t, name_kind::texture));
        EXPECT_EQ(a.mip_count(t), b.mip_count(t));
        for (uint32_t level = 0; level < a.mip_count(t); ++level)
            EXPECT_EQ(picture_of(a, t, level).rgba, picture_of(b, t, level).rgba)
                << t << " level " << level;
    }
    const auto second = dir / "second.txd";
    ASSERT_TRUE(b.save(second, 0));
    EXPECT_EQ(read_file(first), read_file(second));
    EXPECT_EQ(damage(b), std::vector<std::string>{});
}

const char* const k_pc_samples[] = {"AMBULAN.TXD", "mainsc2.txd", "g3le_MISC.TXD", "crsr_misc.txd",
                                    "LD_SPAC.txd", "pcbtns.txd",  "crsr_hud.txd",  "tdem_tde.txd",
                                    "radar00.txd", "playerh.txd"};

// Every sample's first and last texture replaced from its own exported picture: the format and
// level count stay, the picture comes back within DXT's error, undo gives the file back.
TEST(PcEdit, ReplaceFromItsOwnPictureKeepsFormatAndRoundTrips) {
    SKIP_WITHOUT_SAMPLES();
    for (const char* file : k_pc_samples) {
        SCOPED_TRACE(file);
        const auto dir = temp_dir();
        editor_session session = opened(sample(file));
        edit_history history(session);
        const std::vector<uint8_t> original = saved_bytes(session, dir);
        ps2_txd& txd = *session.dictionary();
        for (uint32_t t : {0u, txd.texture_count() - 1}) {
            SCOPED_TRACE("texture " + std::to_string(t));
            const rgba_image before = picture_of(txd, t);
            const uint32_t format = txd.raster_format(t), depth = txd.depth(t);
            const uint32_t compression = txd.compression(t), levels = txd.mip_count(t);
            const auto png = write_png(dir, "t.png", before);
            ASSERT_TRUE(session.replace_pc(t, png.string(), {})) << session.last_error();
            EXPECT_EQ(txd.mip_count(t), levels);
            EXPECT_EQ(txd.compression(t), compression);
            EXPECT_EQ(txd.depth(t), depth);
            // hasAlpha may follow the picture: only the pixel format and palette bits count.
            EXPECT_EQ(txd.raster_format(t) & 0x6F00, format & 0x6F00);
            const double quality = psnr(before, picture_of(txd, t));
            EXPECT_GT(quality, compression ? 30.0 : 40.0);
            RecordProperty(std::string(file) + "_" + std::to_string(t) + "_psnr",
                           std::to_string(quality));
        }
        expect_round_trip(session, dir);
        while (history.can_undo())
            ASSERT_TRUE(history.undo());
        EXPECT_EQ(saved_bytes(session, dir), original);
    }
}

// A picture added to a PC dictionary takes DXT1 when opaque or with 1-bit alpha and DXT5 with
// graded alpha, or the format asked for, in the layout of the dictionary.
TEST(PcEdit, AddChoosesTheFormatByAlphaOrAsAsked) {
    SKIP_WITHOUT_SAMPLES();
    struct row {
        const char* file;
        uint8_t alpha_a, alpha_b; // alpha of the two halves of the picture
        std::optional<pc_format> format;
        uint32_t raster_format; // expected pixel format and palette bits
        uint32_t compression;
        const char* refusal; // start of the message when refused
    };
    const row rows[] = {
        {"AMBULAN.TXD", 255, 255, {}, 0x200, 1, nullptr},
        {"AMBULAN.TXD", 255, 0, {}, 0x100, 1, nullptr},
        {"AMBULAN.TXD", 255, 100, {}, 0x300, 5, nullptr},
        {"AMBULAN.TXD", 255, 100, pc_format::dxt3, 0x300, 3, nullptr},
        {"g3le_MISC.TXD", 255, 255, pc_format::pal8, 0x2600, 0, nullptr},
        {"g3le_MISC.TXD", 255, 100, pc_format::pal4, 0x4500, 0, nullptr},
        {"g3le_MISC.TXD", 255, 100, pc_format::argb8888, 0x500, 0, nullptr},
        {"crsr_hud.txd", 255, 255, {}, 0x200, 1, nullptr},
        {"crsr_hud.txd", 255, 100, pc_format::rgb888, 0x600, 0, nullptr},
        {"crsr_hud.txd", 255, 255, pc_format::pal8, 0, 0, "pal8: only D3D8"},
        {"radar00.txd", 255, 255, {}, 0x600, 1, nullptr},
        {"radar00.txd", 255, 100, {}, 0x500, 5, nullptr},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(std::string(r.file) + " " + std::to_string(r.alpha_b));
        const auto dir = temp_dir();
        rgba_image picture;
        picture.width = 16;
        picture.height = 8;
        for (uint32_t y = 0; y < 8; ++y)
            for (uint32_t x = 0; x < 16; ++x) {
                const uint8_t p[4] = {uint8_t(x * 16), uint8_t(y * 32), 90,
                                      x < 8 ? r.alpha_a : r.alpha_b};
                picture.rgba.insert(picture.rgba.end(), p, p + 4);
            }
        const auto png = write_png(dir, "added.png", picture);
        editor_session session = opened(sample(r.file));
        ps2_txd& txd = *session.dictionary();
        const uint32_t t = txd.texture_count();
        png_add_options options;
        options.format = r.format;
        options.mips = 0;
        const bool added = session.import_file(png.string(), swizzle_mode::as_stored, options);
        if (r.refusal) {
            EXPECT_FALSE(added);
            EXPECT_EQ(session.last_error().rfind(r.refusal, 0), 0u) << session.last_error();
            EXPECT_EQ(txd.texture_count(), t);
            continue;
        }
        ASSERT_TRUE(added) << session.last_error();
        EXPECT_EQ(txd.texture_name(t, name_kind::texture), "added");
        EXPECT_EQ(txd.platform_id(t), txd.platform_id(0));
        EXPECT_EQ(txd.raster_format(t), r.raster_format | 0x8000);
        EXPECT_EQ(txd.compression(t), r.compression);
        EXPECT_EQ(txd.mip_count(t), 5u); // 16x8 down to 1x1
        expect_round_trip(session, dir);
    }
}

// Mip levels come and go with level 0 untouched and the filter word following them.
TEST(PcEdit, MipLevelsKeepLevelZeroAndSetTheFilter) {
    SKIP_WITHOUT_SAMPLES();
    struct row {
        const char* file;
        uint32_t texture;
        mips_request mips;
        uint32_t levels;
        uint8_t filter; // byte 4 afterwards
    };
    const row rows[] = {
        {"crsr_misc.txd", 0, {mips_mode::full_chain, 0}, 7, 6},
        {"crsr_misc.txd", 0, {mips_mode::count, 3}, 3, 6},
        {"crsr_misc.txd", 0, {mips_mode::count, 40}, 7, 6},
        {"AMBULAN.TXD", 0, {mips_mode::count, 1}, 1, 2},
        {"AMBULAN.TXD", 0, {mips_mode::regenerate, 0}, 5, 6},
        {"g3le_MISC.TXD", 0, {mips_mode::full_chain, 0}, 7, 6},
        {"crsr_hud.txd", 0, {mips_mode::full_chain, 0}, 8, 6}, // 128x128
        {"radar00.txd", 0, {mips_mode::count, 4}, 4, 6},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(std::string(r.file) + " " + std::to_string(r.levels));
        const auto dir = temp_dir();
        editor_session session = opened(sample(r.file));
        auto* txd = dynamic_cast<pc_txd*>(session.dictionary());
        ASSERT_NE(txd, nullptr);
        const auto stored = txd->stored_level(r.texture, 0);
        const std::vector<uint8_t> level0(stored.begin(), stored.end());
        ASSERT_TRUE(session.set_mips(r.texture, r.mips)) << session.last_error();
        EXPECT_EQ(txd->mip_count(r.texture), r.levels);
        const auto after = txd->stored_level(r.texture, 0);
        EXPECT_EQ(std::vector<uint8_t>(after.begin(), after.end()), level0);
        EXPECT_EQ(txd->texture_struct(r.texture)[4], r.filter);
        EXPECT_EQ((txd->raster_format(r.texture) & 0x8000) != 0, r.levels > 1);
        expect_round_trip(session, dir);
    }
}

// Replace takes a picture of another size only with --resize, and says so.
TEST(PcEdit, ReplaceOfAnotherSizeNeedsResize) {
    SKIP_WITHOUT_SAMPLES();
    const auto dir = temp_dir();
    editor_session session = opened(sample("crsr_misc.txd"));
    rgba_image picture;
    picture.width = 40;
    picture.height = 24;
    picture.rgba.assign(40 * 24 * 4, 200);
    const auto png = write_png(dir, "odd.png", picture);
    pc_edit_options options;
    EXPECT_FALSE(session.replace_pc(0, png.string(), options));
    EXPECT_NE(session.last_error().find("--resize"), std::string::npos) << session.last_error();
    options.resize = true;
    ASSERT_TRUE(session.replace_pc(0, png.string(), options)) << session.last_error();
    EXPECT_EQ(session.last_note(), "scaled from 40x24 to 64x64");
    EXPECT_EQ(session.dictionary()->width(0), 64u);
}
} // namespace

namespace {
// A DXT or 8888 texture exported as DDS and replaced from it gives the file back byte for
// byte; a DDS of another block kind is decoded and the texture keeps its own kind.
TEST(PcEdit, DdsOfTheTexturesOwnFormatGoesInUntouched) {
    SKIP_WITHOUT_SAMPLES();
    struct row {
        const char* file;
        uint32_t texture;
        const char* other; // a second file whose texture 0 (another format) replaces it
    };
    const row rows[] = {
        {"AMBULAN.TXD", 0, "mainsc2.txd"}, {"AMBULAN.TXD", 9, "pcbtns.txd"},
        {"crsr_hud.txd", 17, nullptr},     {"LD_SPAC.txd", 0, nullptr},
        {"crsr_hud.txd", 25, nullptr},     {"g3le_MISC.TXD", 2, nullptr},
        {"radar00.txd", 0, "AMBULAN.TXD"}, {"tdem_tde.txd", 0, "crsr_misc.txd"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(std::string(r.file) + " " + std::to_string(r.texture));
        const auto dir = temp_dir();
        editor_session session = opened(sample(r.file));
        const std::vector<uint8_t> before = saved_bytes(session, dir);
        const auto dds = dir / "own.dds";
        ASSERT_TRUE(session.export_texture(r.texture, view_mode::texture, export_type::dds, &dds,
                                           swizzle_mode::as_stored))
            << session.last_error();
        ASSERT_TRUE(session.replace_pc(r.texture, dds.string(), {})) << session.last_error();
        EXPECT_EQ(saved_bytes(session, dir), before);
        if (!r.other) continue;
        editor_session other = opened(sample(r.other));
        const auto foreign = dir / "other.dds";
        ASSERT_TRUE(other.export_texture(0, view_mode::texture, export_type::dds, &foreign,
                                         swizzle_mode::as_stored));
        ps2_txd& txd = *session.dictionary();
        const uint32_t compression = txd.compression(r.texture);
        pc_edit_options options;
        options.resize = true;
        ASSERT_TRUE(session.replace_pc(r.texture, foreign.string(), options))
            << session.last_error();
        EXPECT_EQ(txd.compression(r.texture), compression);
        expect_round_trip(session, dir);
    }
}
} // namespace

} // namespace quillmap
