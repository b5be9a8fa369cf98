// Writes the seed inputs of every fuzz target into <folder>/<target>/: the sample files that
// fit the target, inputs built in memory, and pictures exported from them.
#include "archive_builders.h"
#include "dictionary/ps2_txd.h"
#include "dictionary/txd_probe.h"
#include "imageio/texture_dds.h"
#include "imageio/texture_png.h"
#include "seed_inputs.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace quillmap {

namespace fs = std::filesystem;

namespace {
void save(const fs::path& dir, const std::string& name, const std::vector<uint8_t>& bytes) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    std::ofstream(dir / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

void copy_in(const fs::path& dir, const fs::path& file) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    fs::copy_file(file, dir / file.filename(), fs::copy_options::overwrite_existing, ec);
}

// Exports of every texture as BMP (three views) and TIM2 give the picture readers real inputs.
void export_pictures(const fs::path& dictionary, const fs::path& out, const std::string& stem) {
    ps2_txd txd;
    if (!txd.load(dictionary, 0, 0x16, 0)) return;
    const uint32_t count = std::min(txd.texture_count(), 4u);
    for (uint32_t t = 0; t < count; ++t) {
        const std::string base = stem + "_" + std::to_string(t);
        for (const view_mode mode : k_user_views) {
            const std::string v = std::to_string(static_cast<int>(mode));
            const fs::path bmp = out / "bmp" / (base + "_v" + v + ".bmp");
            (void)txd.export_texture(t, mode, export_type::bmp, &bmp, swizzle_mode::as_stored);
        }
        for (const swizzle_mode swizzle : {swizzle_mode::off, swizzle_mode::on}) {
            const std::string s = std::to_string(static_cast<int>(swizzle));
            const fs::path tm2 = out / "tim2" / (base + "_s" + s + ".tm2");
            (void)txd.export_texture(t, view_mode::texture, export_type::tim2, &tm2, swizzle);
        }
        for (const view_mode mode : {view_mode::texture, view_mode::alpha}) {
            std::string error;
            const std::string v = std::to_string(static_cast<int>(mode));
            const fs::path png = out / "png" / (base + "_v" + v + ".png");
            (void)export_texture_png(txd, t, 0, mode, swizzle_mode::as_stored, png, error);
        }
        const fs::path sect = out / "stream" / (base + ".rwsect");
        (void)txd.export_texture(t, view_mode::texture, export_type::rwsect, &sect,
                                 swizzle_mode::as_stored);
    }
}

// DDS files of the first textures of any platform: DXT blocks, plain formats and 8888.
void export_dds(const fs::path& dictionary, const fs::path& out, const std::string& stem) {
    auto probe = probe_dictionary(dictionary, 0, k_all_platforms);
    if (!probe.dictionary) return;
    const uint32_t count = std::min(probe.dictionary->texture_count(), 4u);
    for (uint32_t t = 0; t < count; ++t) {
        std::string error;
        (void)export_texture_dds(*probe.dictionary, t,
                                 out / "dds" / (stem + "_" + std::to_string(t) + ".dds"), error);
    }
}
} // namespace

// The program's work, inside the project's namespace; main() only calls it.
int run_main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <seed folder>\n", argv[0]);
        return 2;
    }
    const fs::path out = argv[1];
    std::error_code ec;
    for (const char* target :
         {"stream", "ps2_txd", "pc_txd", "xbox_txd", "ios_txd", "gc_txd", "tex", "bmp", "tim2",
          "dds", "ini", "png", "archive", "archive_edit", "texture_conversion"})
        fs::create_directories(out / target, ec);

    for (const auto& file : sample_files(".txd")) {
        for (const char* target :
             {"stream", "ps2_txd", "pc_txd", "xbox_txd", "ios_txd", "gc_txd", "texture_conversion"})
            copy_in(out / target, file);
        export_pictures(file, out, file.stem().string());
        export_dds(file, out, file.stem().string());
    }
    for (const auto& file : sample_files(".tm2"))
        copy_in(out / "tim2", file);

    for (const auto& input : qm_seeds::generated_dictionaries()) {
        for (const char* target :
             {"stream", "ps2_txd", "pc_txd", "xbox_txd", "ios_txd", "texture_conversion"})
            save(out / target, input.name + ".txd", input.bytes);
        const fs::path written = out / "ps2_txd" / (input.name + ".txd");
        export_pictures(written, out, input.name);
    }
    save(out / "tex", "three_forms.tex", qm_seeds::make_tex_file());
    std::vector<archive_file> entries;
    for (const auto& input : qm_seeds::generated_dictionaries())
        if (entries.size() < 3) entries.push_back({input.name + ".txd", input.bytes});
    save(out / "archive", "three_dictionaries.img", make_ver2_archive(entries));
    save(out / "archive", "three_dictionaries.dir", make_dir_img_archive(entries).dir);
    // One seed per edit and kind: the first byte chooses them.
    const auto ver2 = make_ver2_archive(entries);
    const auto dir = make_dir_img_archive(entries).dir;
    for (uint8_t choice = 0; choice < 10; ++choice) {
        const uint8_t kind_and_edit = uint8_t(choice % 5 + (choice >= 5 ? 0x80 : 0) + 8 * choice);
        std::vector<uint8_t> seed{kind_and_edit};
        const auto& body = choice >= 5 ? dir : ver2;
        seed.insert(seed.end(), body.begin(), body.end());
        save(out / "archive_edit", "edit_" + std::to_string(choice) + ".bin", seed);
    }
    for (const auto& input : qm_seeds::generated_ini_files())
        save(out / "ini", input.name + ".ini", input.bytes);
    std::printf("seeds written to %s\n", out.c_str());
    return 0;
}

} // namespace quillmap

int main(int argc, char** argv) {
    return quillmap::run_main(argc, argv);
}
