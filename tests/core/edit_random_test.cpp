// Seeded random sequences of edits on every PS2 sample: after each step the tree keeps its
// invariants and the names follow a model; at the end the saved file reads back the same.
#include "dictionary/ps2_txd.h"
#include "image_reference.h"
#include "test_files.h"
#include "tree_invariants.h"

#include <gtest/gtest.h>

#include <random>

namespace quillmap {

namespace {

constexpr int k_steps = 300;

std::vector<std::string> names(ps2_txd& txd) {
    std::vector<std::string> out;
    for (uint32_t t = 0; t < txd.texture_count(); ++t)
        out.push_back(txd.texture_name(t, name_kind::texture));
    return out;
}

// The whole raster data chunk of texture t: every level, the palette and what lies between.
std::vector<uint8_t> raster_bytes_of(ps2_txd& txd, uint32_t t) {
    rw_chunk* data = txd.texture_chunk(t)->child(3)->child(1);
    const auto* bytes = txd.load_data(data);
    return bytes ? std::vector<uint8_t>(bytes->begin(), bytes->begin() + data->size)
                 : std::vector<uint8_t>{};
}

bool alpha_fits_ps2_scale(std::span<const uint8_t> rgba) {
    for (size_t i = 3; i < rgba.size(); i += 4)
        if (rgba[i] > 0x80) return false;
    return true;
}

std::vector<std::filesystem::path> tim2_inputs(const std::filesystem::path& dir) {
    std::vector<std::filesystem::path> out;
    struct shape {
        uint32_t w, h, d;
    };
    const shape shapes[] = {{32, 16, 8}, {64, 32, 4}, {16, 16, 4},
                            {8, 8, 8},   {16, 8, 32}, {32, 4, 16}};
    uint8_t seed = 1;
    for (const auto& s : shapes) {
        tim2_layout layout{.width = s.w, .height = s.h, .depth = s.d};
        layout.image.resize(size_t(s.w) * s.h * s.d / 8);
        for (auto& b : layout.image)
            b = seed = uint8_t(seed * 29 + 11);
        if (s.d <= 8) {
            layout.clut.resize(size_t(4) << s.d);
            for (size_t i = 0; i < layout.clut.size(); ++i)
                layout.clut[i] = i % 4 == 3 ? 0x80 : uint8_t(i * 7);
        }
        const auto name = "in" + std::to_string(s.w) + "x" + std::to_string(s.h) + "_" +
                          std::to_string(s.d) + ".tm2";
        out.push_back(write_file(dir / name, make_tim2_bytes(layout)));
    }
    return out;
}

class EditRandom : public ::testing::TestWithParam<std::string> {};

TEST_P(EditRandom, InvariantsHoldAfterEveryStep) {
    SKIP_WITHOUT_SAMPLES();
    const auto source = sample(GetParam());
    if (!std::filesystem::exists(source)) GTEST_SKIP() << source << " is absent";
    const auto dir = temp_dir();
    const auto path = dir / source.filename();
    std::filesystem::copy_file(source, path);

    ps2_txd txd;
    ASSERT_TRUE(txd.load(path, 0, 0x16, 0)) << txd.last_error;
    ASSERT_EQ(dictionary_invariant_error(txd), "");
    std::vector<std::string> model = names(txd);
    uint32_t version = txd.root_version();
    const auto inputs = tim2_inputs(dir);

    std::mt19937 rng(20261207u + static_cast<uint32_t>(GetParam().size()));
    auto pick = [&](uint32_t n) { return n ? uint32_t(rng() % n) : 0u; };
    auto random_name = [&] {
        static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789_";
        std::string name(1 + pick(30), 'a');
        for (char& c : name)
            c = letters[pick(sizeof letters - 1)];
        return name;
    };

    for (int step = 0; step < k_steps; ++step) {
        const uint32_t count = txd.texture_count();
        const uint32_t t = pick(count);
        const uint32_t op = pick(10);
        SCOPED_TRACE("step " + std::to_string(step) + " op " + std::to_string(op) + " texture " +
                     std::to_string(t));
        switch (op) {
        case 0: {
            if (!count) break;
            const name_kind which = name_kind_from_number(int(pick(2))).value();
            const std::string name = random_name();
            ASSERT_TRUE(txd.rename_texture(t, name, which)) << txd.last_error;
            if (which == name_kind::texture)
                model[t] = name;
            else
                EXPECT_EQ(txd.texture_name(t, name_kind::mask), name);
            break;
        }
        case 1:
            if (!count || pick(3) != 0)
                break; // deleting less often than adding keeps textures around
            ASSERT_TRUE(txd.delete_texture(t)) << txd.last_error;
            model.erase(model.begin() + t);
            break;
        case 2:
            if (count && t > 0) {
                ASSERT_TRUE(txd.move_texture_up(t));
                std::swap(model[t - 1], model[t]);
            }
            break;
        case 3:
            if (count && t + 1 < count) {
                ASSERT_TRUE(txd.move_texture_down(t));
                std::swap(model[t], model[t + 1]);
            }
            break;
        case 4: {
            const auto& input = inputs[pick(uint32_t(inputs.size()))];
            ASSERT_TRUE(
                txd.add_tim2_texture(input, swizzle_mode_from_number(int(pick(3)) - 1).value()))
                << txd.last_error;
            model.push_back(input.stem().string()); // named after the file, no extension
            break;
        }
        case 5: {
            if (!count) break;
            const auto section = dir / "step.rwsect";
            ASSERT_TRUE(txd.export_texture(t, view_mode::texture, export_type::rwsect, &section,
                                           swizzle_mode::as_stored))
                << txd.last_error;
            ASSERT_TRUE(txd.add_raw_section(section)) << txd.last_error;
            model.push_back(model[t]);
            EXPECT_EQ(raster_bytes_of(txd, count), raster_bytes_of(txd, t));
            break;
        }
        case 6: {
            // Export to TIM2 and replace from it: the raster comes back byte for byte.
            if (!count) break;
            const swizzle_mode swizzle = pick(2) ? swizzle_mode::off : swizzle_mode::as_stored;
            const auto before = raster_bytes_of(txd, t);
            const auto picture = dir / "step.tm2";
            ASSERT_TRUE(txd.export_texture(t, view_mode_from_number(int(pick(3))).value(),
                                           export_type::tim2, &picture, swizzle))
                << txd.last_error;
            ASSERT_TRUE(txd.replace_texture(t, picture, export_type::tim2, false))
                << txd.last_error;
            EXPECT_EQ(raster_bytes_of(txd, t), before);
            break;
        }
        case 7: {
            // Export to BMP in mixed view and replace keeping alpha: lossless for 4, 8 and 32 bits
            // while the alphas stay within the PS2 scale.
            if (!count) break;
            const uint32_t d = txd.depth(t);
            const auto before = raster_bytes_of(txd, t);
            const bool lossless = (d == 32 && alpha_fits_ps2_scale(txd.pixels(t, 0))) ||
                                  ((d == 4 || d == 8) && alpha_fits_ps2_scale(txd.palette(t)));
            const auto picture = dir / "step.bmp";
            ASSERT_TRUE(txd.export_texture(t, view_mode::mixed, export_type::bmp, &picture,
                                           swizzle_mode::as_stored))
                << txd.last_error;
            const bool replaced = txd.replace_texture(t, picture, export_type::bmp, true);
            if (d == 4 || d == 8 || d == 32)
                ASSERT_TRUE(replaced) << txd.last_error;
            else
                EXPECT_EQ(txd.last_error, "Unsupported image format");
            if (lossless) {
                EXPECT_EQ(raster_bytes_of(txd, t), before);
            }
            break;
        }
        case 8: {
            // Refused operations change nothing.
            EXPECT_FALSE(txd.move_texture_up(0));
            EXPECT_FALSE(txd.move_texture_down(count ? count - 1 : 0));
            EXPECT_FALSE(txd.delete_texture(count));
            EXPECT_FALSE(txd.rename_texture(count, "nothing", name_kind::texture));
            EXPECT_FALSE(txd.replace_texture(count, inputs[0], export_type::tim2, false));
            break;
        }
        case 9: {
            static const uint32_t versions[] = {0x1803FFFF, 0x0401FFFF, 0x0800FFFF, 0x1003FFFF};
            version = versions[pick(4)];
            ASSERT_TRUE(txd.set_version(version));
            break;
        }
        }
        ASSERT_EQ(dictionary_invariant_error(txd), "");
        ASSERT_EQ(names(txd), model);
    }

    // Saved over the file it was read from, then read again.
    ASSERT_TRUE(txd.save(path, 0)) << txd.last_error;
    ps2_txd reopened;
    ASSERT_TRUE(reopened.load(path, 0, 0x16, 0)) << reopened.last_error;
    EXPECT_EQ(dictionary_invariant_error(reopened), "");
    EXPECT_EQ(names(reopened), model);
    for (uint32_t t = 0; t < reopened.texture_count(); ++t)
        ASSERT_EQ(raster_bytes_of(reopened, t), raster_bytes_of(txd, t)) << t;
    const auto headers = file_chunk_headers(read_file(path));
    ASSERT_FALSE(headers.empty());
    for (const auto& header : headers)
        ASSERT_EQ(header.version, version);
}

INSTANTIATE_TEST_SUITE_P(Edit, EditRandom,
                         ::testing::Values("VEHICLE2.txd", "flowerb.txd", "cscloth.txd",
                                           "cspolic.txd", "sav4_HUD.TXD"),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param.substr(0, info.param.find('.'));
                             for (char& c : name)
                                 if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

} // namespace

} // namespace quillmap
