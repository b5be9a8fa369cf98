#pragma once

#include "app/main_dialog.h"
#include "platform/settings.h"
#include "platform/ui_host.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <QStatusBar>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace quillmap {

// A main window on a settings file in a fresh temporary folder, answered by a script.
class MainWindowTest : public ::testing::Test {
  protected:
    std::filesystem::path dir = temp_dir();
    std::filesystem::path ini = dir / "Quillmap.ini";
    settings_file settings{ini};
    scripted_ui_host host;

    std::unique_ptr<CMainDialog> make_window(std::vector<std::string> extra = {}) {
        std::vector<std::string> arguments{(dir / "quillmap").string()};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return std::make_unique<CMainDialog>(host, startup_options{arguments, ini});
    }

    // A PS2 dictionary of `count` 32x32 8-bit textures, written to the test folder.
    std::vector<uint8_t> dictionary_bytes(int count, uint32_t version = 0x1803FFFF) {
        std::vector<test_chunk> textures;
        for (int i = 0; i < count; ++i) {
            ps2_texture_desc desc;
            desc.name = "tex" + std::to_string(i);
            desc.fill_seed = static_cast<uint8_t>(i + 1);
            textures.push_back(make_ps2_texture(desc));
        }
        return make_dictionary(std::move(textures), version).bytes();
    }
    std::string write_dictionary(const std::string& name, int count,
                                 uint32_t version = 0x1803FFFF) {
        return write_file(dir / name, dictionary_bytes(count, version)).string();
    }

    std::string status(const CMainDialog& window, int pane) {
        return window.status_text(pane).toStdString();
    }
};

} // namespace quillmap
