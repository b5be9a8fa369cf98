#include "pc_builders.h"
#include "run_cli.h"
#include "test_files.h"

#include "dictionary/convert_ps2.h"
#include "dictionary/pc_raster_rules.h"
#include "dictionary/pc_txd.h"
#include "dictionary/txd_probe.h"
#include "imageio/convert_mobile.h"
#include "imageio/convert_pc.h"
#include "imageio/texture_png.h"
#include "imageio/texture_rgba.h"
#include "session/editor_session.h"

#include <squish.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <iostream>
#include <sstream>

namespace quillmap {

namespace {

// Round trips over the real samples of every platform: export → replace through PNG and DDS, and
// a conversion to each platform and back. Per route and platform, what came back: how many
// textures are byte for byte the same, and the PSNR of colour and alpha of the rest.

std::unique_ptr<ps2_txd> open_any(const std::filesystem::path& path) {
    auto probe = probe_dictionary(path, 0, k_all_platforms);
    EXPECT_TRUE(probe.dictionary) << path << ": " << probe.reason;
    return std::move(probe.dictionary);
}

// Every leaf of texture t's section with its id and stamp: equal when the texture is.
std::vector<uint8_t> native_bytes(ps2_txd& txd, uint32_t t) {
    std::vector<uint8_t> out;
    std::vector<rw_chunk*> walk{txd.texture_chunk(t)};
    while (!walk.empty()) {
        rw_chunk* chunk = walk.back();
        walk.pop_back();
        if (!chunk) continue;
        for (uint32_t word : {chunk->id, chunk->size, chunk->version})
            for (int k = 0; k < 4; ++k)
                out.push_back(uint8_t(word >> (8 * k)));
        if (chunk->children.empty()) {
            if (const auto* data = txd.load_data(chunk))
                out.insert(out.end(), data->begin(),
                           data->begin() + std::min<size_t>(data->size(), chunk->size));
        }
        for (auto it = chunk->children.rbegin(); it != chunk->children.rend(); ++it)
            walk.push_back(it->get());
    }
    return out;
}

enum class kind { palette, plain, dxt };

struct texture_kind {
    kind what = kind::plain;
    uint32_t dxt = 0;
};

texture_kind kind_of(ps2_txd& txd, uint32_t t) {
    if (txd.family() == txd_family::pc_xbox) {
        std::string error;
        const auto fields = pc_free_fields_of(txd.texture_struct(t), error);
        if (fields && fields->dxt) return {kind::dxt, fields->dxt};
        if (fields && fields->palette) return {kind::palette, 0};
        return {kind::plain, 0};
    }
    const uint32_t depth = txd.info(t).depth;
    return {depth == 4 || depth == 8 ? kind::palette : kind::plain, 0};
}

// PSNR of red, green and blue over the pixels that show (alpha 128 or more in `want`), and of
// alpha over all; 99 for no difference.
struct psnr_pair {
    double colour = 99;
    double alpha = 99;
};

double db(double sum, size_t samples) {
    if (samples == 0 || sum == 0) return 99;
    return 10 * std::log10(255.0 * 255.0 * double(samples) / sum);
}

psnr_pair psnr(std::span<const uint8_t> want, std::span<const uint8_t> got) {
    double colour = 0, alpha = 0;
    size_t colour_samples = 0, alpha_samples = 0;
    for (size_t i = 0; i + 3 < want.size() && i + 3 < got.size(); i += 4) {
        if (want[i + 3] >= 128)
            for (int c = 0; c < 3; ++c, ++colour_samples)
                colour += double(want[i + c] - got[i + c]) * double(want[i + c] - got[i + c]);
        alpha += double(want[i + 3] - got[i + 3]) * double(want[i + 3] - got[i + 3]);
        ++alpha_samples;
    }
    return {db(colour, colour_samples), db(alpha, alpha_samples)};
}

// libsquish's cluster fit of the same picture, decoded by libsquish.
psnr_pair squish_psnr(const rgba_image& picture, uint32_t dxt) {
    const int flags =
        squish::kColourClusterFit | (dxt == 1   ? squish::kDxt1
                                     : dxt == 3 ? squish::kDxt3 | squish::kWeightColourByAlpha
                                                : squish::kDxt5 | squish::kWeightColourByAlpha);
    const int w = int(picture.width), h = int(picture.height);
    std::vector<uint8_t> blocks(size_t(squish::GetStorageRequirements(w, h, flags)));
    squish::CompressImage(picture.rgba.data(), w, h, blocks.data(), flags);
    std::vector<uint8_t> decoded(picture.rgba.size());
    squish::DecompressImage(decoded.data(), w, h, blocks.data(), flags);
    return psnr(picture.rgba, decoded);
}

rgba_image picture_of(ps2_txd& txd, uint32_t t) {
    std::string error;
    rgba_image out = texture_rgba(txd, t, 0, error);
    EXPECT_FALSE(out.rgba.empty()) << error;
    return out;
}

struct sample_file {
    const char* platform;
    const char* file;
};
const sample_file k_samples[] = {
    {"PS2", "VEHICLE2.txd"},   {"PS2", "flowerb.txd"},    {"PS2", "cspolic.txd"},
    {"PS2", "sav4_HUD.TXD"},   {"D3D8", "AMBULAN.TXD"},   {"D3D8", "mainsc2.txd"},
    {"D3D8", "g3le_MISC.TXD"}, {"D3D8", "crsr_misc.txd"}, {"D3D9", "LD_SPAC.txd"},
    {"D3D9", "pcbtns.txd"},    {"D3D9", "crsr_hud.txd"},  {"D3D9", "tdem_tde.txd"},
    {"XBOX", "radar00.txd"},   {"XBOX", "playerh.txd"},
};

// Export each texture and put it back with replace, through `type`, `trips` times over.
std::unique_ptr<ps2_txd> export_replace(const std::filesystem::path& file, export_type type,
                                        uint32_t trips, std::string& error) {
    const auto dir = temp_dir();
    std::filesystem::path current = file;
    for (uint32_t trip = 0; trip < trips; ++trip) {
        editor_session session;
        if (session.open(current.string(), 0, k_all_platforms) != open_status::opened) {
            error = "does not open: " + session.error_text();
            return nullptr;
        }
        const uint32_t count = session.dictionary()->texture_count();
        for (uint32_t t = 0; t < count; ++t) {
            const auto picture = dir / ("t" + std::to_string(t) + export_extension(type));
            if (!session.export_texture(t, view_mode::texture, type, &picture,
                                        swizzle_mode::as_stored)) {
                error = "export " + std::to_string(t) + ": " + session.error_text();
                return nullptr;
            }
            if (!session.replace(t, picture.string(), false, false)) {
                error = "replace " + std::to_string(t) + ": " + session.error_text();
                return nullptr;
            }
        }
        current = dir / ("trip" + std::to_string(trip) + ".txd");
        if (!session.save_as(current.string())) {
            error = "save: " + session.error_text();
            return nullptr;
        }
    }
    return open_any(current);
}

// Converts `from` to the platform `to` ("PS2", "D3D8", "D3D9", "XBOX", "mobile") at `out`.
bool convert(ps2_txd& from, const std::string& to, const std::filesystem::path& out,
             std::string& error) {
    std::vector<std::string> skipped, notes;
    bool ok = false;
    if (to == "PS2") {
        ok = convert_to_ps2(from, out, error, &skipped);
    } else if (to == "mobile") {
        ok = convert_to_mobile(from, out, {}, skipped, notes, error);
    } else {
        pc_convert_options options;
        options.layout = to == "D3D8"   ? pc_layout::d3d8
                         : to == "D3D9" ? pc_layout::d3d9
                                        : pc_layout::xbox;
        options.dither = false;
        ok = convert_to_pc(from, out, options, skipped, notes, error);
    }
    if (ok && !skipped.empty()) {
        error = std::to_string(skipped.size()) + " texture(s) skipped";
        return false;
    }
    return ok;
}

std::unique_ptr<ps2_txd> there_and_back(const std::filesystem::path& file, const char* platform,
                                        const std::string& via, std::string& error) {
    auto source = open_any(file);
    if (!source) return nullptr;
    const auto dir = temp_dir();
    if (!convert(*source, via, dir / "there.txd", error)) return nullptr;
    auto there = open_any(dir / "there.txd");
    if (!there || !convert(*there, platform, dir / "back.txd", error)) return nullptr;
    return open_any(dir / "back.txd");
}

// One row of the figures: a route over the samples of one platform.
struct figures {
    uint32_t textures = 0;
    uint32_t identical[3] = {}; // by kind
    uint32_t of_kind[3] = {};
    double least_colour = 99;
    double least_alpha = 99;
    double dxt_short_of_squish = 0;       // the most our DXT colour PSNR falls below libsquish's
    uint32_t scaled = 0;                  // textures that came back at another size
    std::vector<double> alpha_by_texture; // in the order the samples and textures come
    std::string failure;
};

std::string figure(double v) {
    char text[16];
    std::snprintf(text, sizeof text, v >= 99 ? "exact" : "%.1f", v);
    return text;
}

// Compares every texture of `back` with the same texture of `original`.
void compare(ps2_txd& original, ps2_txd& back, bool dxt_reencoded, figures& row) {
    ASSERT_EQ(back.texture_count(), original.texture_count());
    for (uint32_t t = 0; t < original.texture_count(); ++t) {
        SCOPED_TRACE("texture " + std::to_string(t) + " " +
                     original.texture_name(t, name_kind::texture));
        const texture_kind k = kind_of(original, t);
        ++row.textures;
        ++row.of_kind[int(k.what)];
        if (native_bytes(original, t) == native_bytes(back, t)) {
            ++row.identical[int(k.what)];
            row.alpha_by_texture.push_back(99);
            continue;
        }
        const rgba_image want = picture_of(original, t);
        const rgba_image got = picture_of(back, t);
        if (got.width != want.width || got.height != want.height) {
            ++row.scaled; // a size the target does not take
            continue;
        }
        const psnr_pair ours = psnr(want.rgba, got.rgba);
        row.least_colour = std::min(row.least_colour, ours.colour);
        row.least_alpha = std::min(row.least_alpha, ours.alpha);
        row.alpha_by_texture.push_back(ours.alpha);
        if (k.what == kind::dxt && dxt_reencoded && want.width >= 4 && want.height >= 4) {
            const psnr_pair reference = squish_psnr(want, k.dxt);
            row.dxt_short_of_squish =
                std::max(row.dxt_short_of_squish, reference.colour - ours.colour);
        }
    }
}

} // namespace

// The figures table over every platform and route, with the goals each route must meet.
TEST(LosslessRoundTrip, EveryPlatformAndRoute) {
    SKIP_WITHOUT_SAMPLES();
    const char* const platforms[] = {"PS2", "D3D8", "D3D9", "XBOX"};
    const char* const vias[] = {"PS2", "D3D8", "D3D9", "XBOX", "mobile"};
    std::ostringstream table;
    table << "| platform | route | textures | identical (palette/plain/dxt) | least colour dB | "
             "least alpha dB | DXT below libsquish dB |\n|---|---|---|---|---|---|---|\n";
    auto add_row = [&](const char* platform, const std::string& route_name, const figures& f) {
        table << "| " << platform << " | " << route_name << " | " << f.textures << " | ";
        for (int k = 0; k < 3; ++k)
            table << (k ? "/" : "") << f.identical[k] << " of " << f.of_kind[k];
        table << " | " << figure(f.least_colour) << " | " << figure(f.least_alpha) << " | "
              << (f.dxt_short_of_squish > 0 ? figure(f.dxt_short_of_squish) : "-") << " |\n";
    };
    for (const char* platform : platforms) {
        // Goals per route: which kinds come back byte for byte, whether every picture comes back
        // exact, and whether DXT textures are re-encoded from their own decoded picture (to be
        // within 0.5 dB of libsquish's cluster fit on it; a lossy layout between does not count).
        struct named_route {
            std::string name;
            bool palette_identical, plain_identical, dxt_identical, pictures_exact, dxt_reencoded;
            std::function<std::unique_ptr<ps2_txd>(const std::filesystem::path&, std::string&)> run;
        };
        std::vector<named_route> routes = {
            {"export png, replace", true, true, false, true, true,
             [](const std::filesystem::path& f, std::string& e) {
                 return export_replace(f, export_type::png, 1, e);
             }},
            {"export png, replace ×3", true, true, false, true, true,
             [](const std::filesystem::path& f, std::string& e) {
                 return export_replace(f, export_type::png, 3, e);
             }},
            {"export dds, replace", true, true, true, true, true,
             [](const std::filesystem::path& f, std::string& e) {
                 return export_replace(f, export_type::dds, 1, e);
             }},
        };
        for (const char* via : vias) {
            if (std::string(via) == platform) continue;
            const bool lossless_between =
                std::string(via) == "D3D8" && std::string(platform) == "PS2";
            routes.push_back({std::string("to ") + via + " and back", false, false, false,
                              lossless_between, std::string(via) != "mobile",
                              [platform, via](const std::filesystem::path& f, std::string& e) {
                                  return there_and_back(f, platform, via, e);
                              }});
        }
        std::vector<figures> rows;
        for (const named_route& r : routes) {
            SCOPED_TRACE(std::string(platform) + ": " + r.name);
            figures& row = rows.emplace_back();
            for (const sample_file& s : k_samples) {
                if (std::string(s.platform) != platform) continue;
                SCOPED_TRACE(s.file);
                auto original = open_any(sample(s.file));
                ASSERT_TRUE(original);
                std::string error;
                auto back = r.run(sample(s.file), error);
                if (!back) {
                    ADD_FAILURE() << error;
                    row.failure = error;
                    continue;
                }
                compare(*original, *back, r.dxt_reencoded, row);
            }
            add_row(platform, r.name, row);
            if (r.palette_identical) {
                EXPECT_EQ(row.identical[int(kind::palette)], row.of_kind[int(kind::palette)]);
            }
            if (r.plain_identical) {
                EXPECT_EQ(row.identical[int(kind::plain)], row.of_kind[int(kind::plain)]);
            }
            if (r.dxt_identical) {
                EXPECT_EQ(row.identical[int(kind::dxt)], row.of_kind[int(kind::dxt)]);
            }
            EXPECT_LE(row.dxt_short_of_squish, 0.5);
            if (r.pictures_exact) {
                EXPECT_EQ(row.least_colour, 99);
                EXPECT_EQ(row.least_alpha, 99);
                EXPECT_EQ(row.scaled, 0u);
            }
        }
        // No alpha drift: three round trips lose no more alpha than one.
        ASSERT_EQ(rows[1].alpha_by_texture.size(), rows[0].alpha_by_texture.size());
        for (size_t i = 0; i < rows[0].alpha_by_texture.size(); ++i)
            EXPECT_GE(rows[1].alpha_by_texture[i], rows[0].alpha_by_texture[i] - 0.05)
                << platform << " texture " << i;
    }
    std::cout << table.str();
}

// A DDS with mip levels goes in with every level as stored, by default and with --mips keep; a
// count asked for takes that many of them; the filter word follows the levels.
TEST(LosslessRoundTrip, DdsAddKeepsItsLevels) {
    SKIP_WITHOUT_SAMPLES();
    struct row {
        uint32_t mips; // as png_add_options holds it
        uint32_t want_levels;
        uint8_t want_filter;
    };
    const row rows[] = {{k_mips_keep, 5, 6}, {3, 3, 6}, {1, 1, 2}};
    auto source = open_any(sample("AMBULAN.TXD"));
    ASSERT_TRUE(source);
    auto* pc = dynamic_cast<pc_txd*>(source.get());
    ASSERT_TRUE(pc);
    const auto dir = temp_dir();
    for (uint32_t t = 0; t < source->texture_count(); ++t) {
        std::string error;
        const auto fields = pc_free_fields_of(pc->texture_struct(t), error);
        ASSERT_TRUE(fields) << error;
        if (fields->levels < 5) continue;
        for (const row& r : rows) {
            SCOPED_TRACE("texture " + std::to_string(t) + " mips " + std::to_string(r.mips));
            const auto dds = dir / ("t" + std::to_string(t) + ".dds");
            editor_session session;
            ASSERT_EQ(session.open(sample("AMBULAN.TXD").string(), 0, k_all_platforms),
                      open_status::opened);
            ASSERT_TRUE(session.export_texture(t, view_mode::texture, export_type::dds, &dds,
                                               swizzle_mode::as_stored))
                << session.error_text();
            png_add_options options;
            options.mips = r.mips;
            ASSERT_TRUE(session.import_file(dds.string(), swizzle_mode::as_stored, options))
                << session.error_text();
            auto* added = dynamic_cast<pc_txd*>(session.dictionary());
            const uint32_t last = added->texture_count() - 1;
            const auto got = pc_free_fields_of(added->texture_struct(last), error);
            ASSERT_TRUE(got) << error;
            EXPECT_EQ(got->levels, r.want_levels);
            EXPECT_EQ(got->filter, r.want_filter);
            EXPECT_EQ(got->dxt, fields->dxt);
            for (uint32_t level = 0; level < r.want_levels; ++level) {
                const auto want = pc->stored_level(t, level);
                const auto have = added->stored_level(last, level);
                EXPECT_TRUE(std::equal(want.begin(), want.end(), have.begin(), have.end()))
                    << "level " << level;
            }
        }
    }
}

// XBOX textures are written in the forms real XBOX files show: one level of DXT1 or DXT5-shaped
// blocks, whatever the source; what was left out is said per texture, and formats no real XBOX
// file shows are refused when asked for.
TEST(LosslessRoundTrip, XboxGetsOnlyTheFormsRealFilesShow) {
    SKIP_WITHOUT_SAMPLES();
    for (const char* file : {"AMBULAN.TXD", "g3le_MISC.TXD", "crsr_hud.txd", "flowerb.txd"}) {
        SCOPED_TRACE(file);
        auto source = open_any(sample(file));
        ASSERT_TRUE(source);
        pc_txd target;
        std::vector<std::string> skipped, notes;
        std::string error;
        ASSERT_TRUE(
            convert_to_pc(*source, target, {.layout = pc_layout::xbox}, skipped, notes, error))
            << error;
        ASSERT_EQ(target.texture_count(), source->texture_count());
        uint32_t had_levels = 0;
        for (uint32_t t = 0; t < target.texture_count(); ++t) {
            const auto fields = pc_free_fields_of(target.texture_struct(t), error);
            ASSERT_TRUE(fields) << error;
            EXPECT_EQ(fields->levels, 1u) << t;
            EXPECT_TRUE(fields->dxt == 1 || fields->dxt == 5) << t << ": dxt " << fields->dxt;
            had_levels += source->mip_count(t) > 1;
        }
        const auto left_out = std::count_if(notes.begin(), notes.end(), [](const std::string& n) {
            return n.find("mip level(s) left out") != std::string::npos;
        });
        EXPECT_EQ(uint32_t(left_out), had_levels);
    }
    auto source = open_any(sample("AMBULAN.TXD"));
    ASSERT_TRUE(source);
    for (pc_format format : {pc_format::argb8888, pc_format::rgb888, pc_format::dxt3}) {
        pc_txd target;
        std::vector<std::string> skipped, notes;
        std::string error;
        EXPECT_FALSE(convert_to_pc(*source, target, {.layout = pc_layout::xbox, .format = format},
                                   skipped, notes, error));
        EXPECT_NE(error.find("real XBOX files"), std::string::npos) << error;
    }
}

// list --json names each mobile texture's own layout: DXT1 from DXT3, 565 from 4444.
TEST(LosslessRoundTrip, MobileListNamesEachTexturesFormat) {
    struct row {
        uint32_t platform;
        uint8_t alpha;
        std::vector<uint8_t> data;
        const char* want; // pixel_format and compression as the JSON has them
    };
    const row rows[] = {
        {9, 0, dxt1_solid(0xF800, 4), "\"pixel_format\":\"0x565\",\"compression\":1"},
        {9, 1, dxt3_solid(0x07E0, 7, 4), "\"pixel_format\":\"0x4444\",\"compression\":3"},
        {12, 0, fill16(0xF800, 64), "\"pixel_format\":\"0x565\",\"compression\":0"},
        {12, 1, fill16(0xF00F, 64), "\"pixel_format\":\"0x4444\",\"compression\":0"},
    };
    std::vector<mobile_texture_desc> textures;
    for (const row& r : rows) {
        mobile_texture_desc desc;
        desc.platform = r.platform;
        desc.alpha = r.alpha;
        desc.name = "t" + std::to_string(textures.size());
        desc.data = r.data;
        textures.push_back(desc);
    }
    const auto file = write_temp("mobile.txd", mobile_dictionary_bytes(textures));
    const cli_result result = run_cli({"list", file.string(), "--json"});
    ASSERT_EQ(result.exit_code, 0) << result.err;
    size_t at = 0;
    for (const row& r : rows) {
        const size_t found = result.out.find(r.want, at);
        ASSERT_NE(found, std::string::npos) << r.want << " in " << result.out;
        at = found + 1;
    }
}

} // namespace quillmap
