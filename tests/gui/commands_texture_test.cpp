#include "views/export_all_dialog.h"
#include "views/one_edit_dialog.h"
#include "views/rw_select.h"
#include "views/texture_dialog.h"
#include "views/texture_list.h"
#include "window_parts.h"

#include "views_support.h"

#include "app/picture_control.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace quillmap {

using namespace views_test;

namespace {
struct commands : ::testing::Test, window_fixture {
    CMainDialog& w() { return *window; }
    CTextureList& list() { return *static_cast<CTextureList*>(texture_list_of(*window)); }
    ps2_txd& txd() { return *window->dictionary(); }
    std::string status(int pane) { return window->status_text(pane).toStdString(); }
    const ui_event& last_message() {
        static ui_event none;
        for (auto it = host.log.rbegin(); it != host.log.rend(); ++it)
            if (it->kind == ui_event::message) return *it;
        return none;
    }
    void open_named(std::initializer_list<const char*> names) {
        ASSERT_TRUE(open(make_dictionary(named_textures(names))));
        host.clear_log();
    }
    // A TIM2 file and a raw section written from a texture of another dictionary.
    std::filesystem::path exported(const std::string& file, export_type type) {
        auto source = load_as<ps2_txd>(write_dictionary(
            "source.txd",
            make_dictionary({make_ps2_texture({.name = "imported", .fill_seed = 9})})));
        const auto path = dir / file;
        EXPECT_TRUE(
            source->export_texture(0, view_mode::texture, type, &path, swizzle_mode::as_stored))
            << source->last_error;
        return path;
    }
};

bool matches(const std::string& text, const char* pattern) {
    return QRegularExpression(QRegularExpression::anchoredPattern(pattern))
        .match(QString::fromStdString(text))
        .hasMatch();
}
} // namespace

TEST_F(commands, commands_without_a_dictionary_stop_at_the_guard) {
    for (int id : {cmd::export_bmp, cmd::export_button, cmd::import_file, cmd::replace,
                   cmd::move_up, cmd::move_down, cmd::change_version}) {
        host.clear_log();
        w().run_command(id);
        ASSERT_EQ(host.log.size(), 1u) << id;
        EXPECT_EQ(host.log[0].text, "TXD file is NOT loaded!");
        EXPECT_EQ(host.log[0].caption, "Error");
        EXPECT_EQ(host.log[0].icon, box_icon::error);
    }
    host.clear_log();
    w().run_command(cmd::remove);
    w().send_app_message(msg_texture_properties);
    EXPECT_TRUE(host.log.empty());
}

// Extensions are read in any case: the Export button writes car.BMP as a bitmap, as the Windows
// Bitmap item does.
TEST_F(commands, export_button_and_the_bitmap_item_both_take_an_upper_case_extension) {
    ASSERT_TRUE(open(make_dictionary({make_ps2_texture({.name = "car", .mask = "cara"})})));
    host.clear_log();
    const auto file = (dir / "car.BMP").string();
    host.answer_file(file);
    w().run_command(cmd::export_button);
    const auto files = host.of_kind(ui_event::file);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(files[0].request.save);
    EXPECT_EQ(files[0].request.default_extension, ".png");
    EXPECT_EQ(files[0].request.initial_name, "car");
    EXPECT_EQ(files[0].request.filter,
              "PNG Picture (*.png)|*.png|Windows Bitmap (*.bmp)|*.bmp|PlayStation2 TIM2 "
              "(*.tm2)|*.tm2|Texture Native RW Section (*.rwsect)|*.rwsect|");
    EXPECT_TRUE(host.message_texts().empty()) << host.message_texts().front();
    ASSERT_TRUE(std::filesystem::exists(file));
    const std::vector<uint8_t> from_button = read_file(file);
    ASSERT_GE(from_button.size(), 2u);
    EXPECT_EQ(from_button[0], 'B');
    EXPECT_EQ(from_button[1], 'M');
    EXPECT_TRUE(matches(status(0), R"(Texture car exported to BMP within \d+\.\d\d seconds\.)"))
        << status(0);
    std::filesystem::remove(file);

    host.clear_log();
    host.answer_file(file);
    w().run_command(cmd::export_bmp);
    EXPECT_TRUE(host.message_texts().empty());
    EXPECT_EQ(read_file(file), from_button);
    EXPECT_EQ(host.of_kind(ui_event::file)[0].request.filter,
              "Windows Bitmap (*.bmp)|*.bmp|All Files (*.*)|*.*|");
    EXPECT_TRUE(matches(status(0), R"(Texture car exported to BMP within \d+\.\d\d seconds\.)"))
        << status(0);
    EXPECT_FALSE(w().modified());
}

TEST_F(commands, export_message_goes_the_same_way_as_the_button) {
    open_named({"a"});
    const auto file = (dir / "a.tm2").string();
    host.answer_file(file);
    w().send_app_message(msg_export_current);
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_TRUE(matches(status(0), R"(Texture a exported to TM2 within .* seconds\.)"));
}

TEST_F(commands, export_in_alpha_view_proposes_the_mask_name) {
    ASSERT_TRUE(open(make_dictionary({make_ps2_texture({.name = "car", .mask = "cara"})})));
    w().set_alpha_mode(view_mode::alpha);
    host.clear_log();
    const auto file = (dir / "x.tm2").string();
    host.answer_file(file);
    w().run_command(cmd::export_tim2);
    ASSERT_EQ(host.of_kind(ui_event::file).size(), 1u);
    EXPECT_EQ(host.of_kind(ui_event::file)[0].request.initial_name, "cara");
    EXPECT_EQ(host.of_kind(ui_event::file)[0].request.default_extension, ".tm2");
    EXPECT_TRUE(matches(status(0), R"(Texture car exported to TM2 within .*)")) << status(0);
}

TEST_F(commands, a_failed_export_reports_and_keeps_the_status) {
    open_named({"a"});
    w().set_status_text(0, "before");
    host.answer_file((dir / "missing" / "folder" / "a.bmp").string());
    w().run_command(cmd::export_bmp);
    ASSERT_EQ(host.message_texts().size(), 1u);
    EXPECT_EQ(last_message().text, txd().last_error);
    EXPECT_FALSE(last_message().text.empty());
    EXPECT_EQ(last_message().icon, box_icon::none);
    EXPECT_EQ(status(0), "before");
}

TEST_F(commands, cancelled_export_does_nothing) {
    open_named({"a"});
    host.cancel_file();
    w().run_command(cmd::export_rwsect);
    EXPECT_TRUE(host.message_texts().empty());
    EXPECT_EQ(host.of_kind(ui_event::file)[0].request.filter,
              "Texture Native RW Section (*.rwsect)|*.rwsect|All Files (*.*)|*.*|");
}

TEST_F(commands, export_selected_writes_each_selected_texture) {
    open_named({"one", "two", "three"});
    list().item(0)->setSelected(true);
    list().item(2)->setSelected(true);
    const auto folder = dir / "out";
    std::filesystem::create_directories(folder);
    host.answer_file((folder / "whatever.bmp").string());
    w().run_command(cmd::export_bmp);
    EXPECT_TRUE(host.message_texts().empty());
    EXPECT_TRUE(std::filesystem::exists(folder / "one.bmp"));
    EXPECT_FALSE(std::filesystem::exists(folder / "two.bmp"));
    EXPECT_TRUE(std::filesystem::exists(folder / "three.bmp"));
    EXPECT_FALSE(std::filesystem::exists(folder / "whatever.bmp"));
}

TEST_F(commands, the_export_button_takes_the_current_texture_only) {
    open_named({"one", "two", "three"});
    list().setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
    list().item(2)->setSelected(true);
    const auto file = dir / "picked.tm2";
    host.answer_file(file.string());
    w().run_command(cmd::export_button);
    EXPECT_TRUE(host.message_texts().empty()) << last_message().text;
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_FALSE(std::filesystem::exists(dir / "three.tm2"));
    EXPECT_TRUE(matches(status(0), R"(Texture two exported to TM2 within .*)")) << status(0);
}

TEST_F(commands, export_all_writes_every_texture_in_the_chosen_format) {
    open_named({"one", "two", "three"});
    const auto folder = dir / "all";
    std::filesystem::create_directories(folder);
    host.answer_modal([&folder](modal_dialog& dialog) {
        auto& choice = dynamic_cast<CExportAllDialog&>(dialog);
        choice.initialize();
        choice.folder_box->setText(QString::fromStdString(folder.string()));
        choice.format_box->setCurrentIndex(
            choice.format_box->findData(export_type_number(export_type::rwsect)));
        choice.press_ok();
        return id_ok;
    });
    w().run_command(cmd::export_all);
    EXPECT_TRUE(host.message_texts().empty());
    for (const char* name : {"one", "two", "three"})
        EXPECT_TRUE(std::filesystem::exists(folder / (std::string(name) + ".rwsect"))) << name;
    // An exported section goes back into a dictionary as a texture.
    EXPECT_TRUE(txd().add_raw_section(folder / "two.rwsect"));
    EXPECT_EQ(txd().texture_name(3, name_kind::texture), "two");
}

TEST_F(commands, import_of_three_files_with_a_bitmap_in_the_middle) {
    open_named({"a"});
    const auto tim2 = exported("first.tm2", export_type::tim2);
    const auto section = exported("third.rwsect", export_type::rwsect);
    const auto bitmap = write_file(dir / "second.bmp", {'B', 'M'});
    QSignalSpy refill(&list(), &CTextureList::current_texture_changed);
    host.answer_file({tim2.string(), bitmap.string(), section.string()});
    host.answer_message(id_yes);
    w().run_command(cmd::import_file);
    const auto files = host.of_kind(ui_event::file);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(files[0].request.multiple);
    EXPECT_FALSE(files[0].request.save);
    EXPECT_EQ(files[0].request.default_extension, "");
    EXPECT_EQ(files[0].request.filter,
              "PNG Picture (*.png)|*.png|Windows Bitmap (*.bmp)|*.bmp|PlayStation2 TIM2 "
              "(*.tm2)|*.tm2|Texture Native RW Section (*.rwsect)|*.rwsect|PlayStation2 TXD "
              "(*.txd)|*.txd|All Supported Formats (*.txd; *.png; *.bmp; *.tm2; *.rwsect)|*.txd; "
              "*.png; *.bmp; *.tm2; *.rwsect|All Files (*.*)|*.*|");
    ASSERT_EQ(host.message_texts().size(), 1u);
    EXPECT_EQ(last_message().text,
              "BMP is not suppoorted yet.\n\nDo you wanna continue to next file in queue?");
    EXPECT_EQ(last_message().caption, "Error");
    EXPECT_EQ(last_message().buttons, box_buttons::yes_no);
    EXPECT_EQ(last_message().icon, box_icon::warning);
    ASSERT_EQ(txd().texture_count(), 3u);
    EXPECT_EQ(txd().texture_name(1, name_kind::texture),
              tim2.stem().string()); // the file name without ".tm2"
    EXPECT_EQ(txd().texture_name(2, name_kind::texture), "imported");
    // The list shows the new textures and the change is marked.
    EXPECT_EQ(list().count(), 3);
    EXPECT_TRUE(w().modified());
    EXPECT_GE(refill.count(), 1);
}

TEST_F(commands, no_to_the_continue_question_ends_the_queue) {
    open_named({"a"});
    const auto section = exported("third.rwsect", export_type::rwsect);
    host.answer_file({(dir / "odd.txd").string(), section.string()});
    host.answer_message(id_no);
    w().run_command(cmd::import_button);
    ASSERT_EQ(host.message_texts().size(), 1u);
    EXPECT_EQ(last_message().text,
              "Unknown import format\n\nDo you wanna continue to next file in queue?");
    EXPECT_EQ(txd().texture_count(), 1u);
    EXPECT_FALSE(w().modified());
}

TEST_F(commands, replace_from_a_section_fails_and_leaves_the_dictionary_unmodified) {
    open_named({"a", "b"});
    const auto section = exported("s.rwsect", export_type::rwsect);
    host.answer_file(section.string());
    w().run_command(cmd::replace);
    const auto files = host.of_kind(ui_event::file);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_FALSE(files[0].request.save);
    EXPECT_EQ(files[0].request.default_extension, ".bmp");
    EXPECT_EQ(files[0].request.initial_name, "a");
    ASSERT_EQ(host.message_texts().size(), 1u);
    EXPECT_EQ(last_message().text, "Unknown import format.");
    EXPECT_EQ(last_message().caption, "Error");
    EXPECT_EQ(last_message().icon, box_icon::error);
    EXPECT_FALSE(w().modified()); // nothing changed, so there is nothing to save
    EXPECT_TRUE(matches(status(0), "Texture 'a' rendered within .*"));
}

TEST_F(commands, replace_from_a_bitmap_of_the_same_texture_succeeds) {
    open_named({"a", "b"});
    list().setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
    const auto file = dir / "b.bmp";
    ASSERT_TRUE(txd().export_texture(1, view_mode::texture, export_type::bmp, &file,
                                     swizzle_mode::as_stored));
    const auto before = txd().pixels(1, 0);
    const std::vector<uint8_t> pixels(before.begin(), before.end());
    host.answer_file(file.string());
    w().run_command(cmd::replace_using_alpha);
    EXPECT_TRUE(host.message_texts().empty()) << last_message().text;
    EXPECT_TRUE(w().modified());
    const auto after = txd().pixels(1, 0);
    EXPECT_EQ(std::vector<uint8_t>(after.begin(), after.end()), pixels);
}

TEST_F(commands, formats_refuse_import_and_replace_by_their_mask) {
    // PC, XBOX and mobile dictionaries take both; TEX files (mask 58) refuse them.
    ASSERT_TRUE(open(make_dictionary({mobile_texture({.name = "m"})})));
    ASSERT_EQ(w().restriction_mask(), 0u);
    w().set_restriction_mask(58);
    host.clear_log();
    w().run_command(cmd::import_file);
    w().run_command(cmd::replace);
    ASSERT_EQ(host.message_texts().size(), 2u);
    EXPECT_EQ(host.message_texts()[0], "Texture importing is disabled for this format.");
    EXPECT_EQ(host.message_texts()[1], "Texture replacing is disabled for this format.");
    EXPECT_EQ(host.log[0].caption, "Error");
    EXPECT_EQ(host.log[1].icon, box_icon::error);
    EXPECT_TRUE(host.of_kind(ui_event::file).empty());
    EXPECT_FALSE(w().modified());
}

TEST_F(commands, rename_through_the_one_edit_dialog) {
    open_named({"a", "b"});
    list().clearSelection();
    host.answer_modal([](modal_dialog& dialog) {
        auto& edit = dynamic_cast<COneEditDialog&>(dialog);
        EXPECT_EQ(edit.value, "a");
        EXPECT_TRUE(edit.title.empty());
        EXPECT_TRUE(edit.label.empty());
        edit.initialize();
        EXPECT_EQ(edit.windowTitle(), "Rename some shit");
        EXPECT_EQ(edit.edit->text(), "a");
        edit.value = "renamed";
        return id_ok;
    });
    w().run_command(cmd::rename);
    EXPECT_EQ(txd().texture_name(0, name_kind::texture), "renamed");
    EXPECT_EQ(list().item_text(0, 0), "1. renamed");
    EXPECT_EQ(status(0), "Texture succesfully renamed.");
    EXPECT_TRUE(w().modified());
}

TEST_F(commands, rename_takes_the_first_selected_item_and_cancel_changes_nothing) {
    open_named({"a", "b", "c"});
    list().setCurrentRow(2, QItemSelectionModel::ClearAndSelect);
    list().item(1)->setSelected(true);
    host.answer_modal([](modal_dialog& dialog) {
        EXPECT_EQ(dynamic_cast<COneEditDialog&>(dialog).value, "b");
        return id_cancel;
    });
    w().run_command(cmd::rename);
    EXPECT_EQ(txd().texture_name(1, name_kind::texture), "b");
    EXPECT_FALSE(w().modified());
}

TEST_F(commands, rename_in_a_mobile_dictionary_writes_the_struct_name) {
    ASSERT_TRUE(open(make_dictionary({mobile_texture({.name = "m"})})));
    host.clear_log();
    host.answer_modal([](modal_dialog& dialog) {
        auto& edit = dynamic_cast<COneEditDialog&>(dialog);
        EXPECT_EQ(edit.value, "m");
        edit.value = "renamed";
        return id_ok;
    });
    w().run_command(cmd::rename);
    EXPECT_TRUE(host.message_texts().empty());
    EXPECT_EQ(txd().texture_name(0, name_kind::texture), "renamed");
    EXPECT_TRUE(w().modified());
}

TEST_F(commands, delete_asks_and_removes_the_current_texture) {
    open_named({"a", "b", "c"});
    list().setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
    host.answer_message(id_no);
    w().run_command(cmd::remove);
    ASSERT_EQ(host.message_texts().size(), 1u);
    EXPECT_EQ(last_message().text, "Do you really want permanently delete \"b\"?");
    EXPECT_EQ(last_message().caption, "Confirm texture delete");
    EXPECT_EQ(last_message().buttons, box_buttons::yes_no);
    EXPECT_EQ(last_message().icon, box_icon::question);
    EXPECT_EQ(txd().texture_count(), 3u);

    host.answer_message(id_yes);
    w().run_command(cmd::remove);
    ASSERT_EQ(txd().texture_count(), 2u);
    EXPECT_EQ(txd().texture_name(1, name_kind::texture), "c");
    EXPECT_EQ(list().count(), 2);
    EXPECT_EQ(list().selected(), 0);
    EXPECT_TRUE(w().modified());
}

TEST_F(commands, deleting_the_last_texture_empties_the_preview) {
    open_named({"only"});
    ASSERT_NE(picture_of(w())->bitmap(), nullptr);
    w().run_command(cmd::remove);
    EXPECT_EQ(txd().texture_count(), 0u);
    EXPECT_EQ(list().count(), 0);
    EXPECT_EQ(picture_of(w())->bitmap(), nullptr);
    EXPECT_EQ(mip_box_of(w())->count(), 0);
    // Nothing left to delete: no question.
    host.clear_log();
    w().run_command(cmd::remove);
    EXPECT_TRUE(host.log.empty());
}

TEST_F(commands, move_limits_and_selection_following) {
    open_named({"a", "b", "c"});
    w().run_command(cmd::move_up);
    ASSERT_EQ(host.message_texts().size(), 1u);
    EXPECT_EQ(last_message().text, "First texture cannot be moved up.");
    EXPECT_EQ(last_message().caption, "Error");
    EXPECT_EQ(last_message().icon, box_icon::error);
    EXPECT_EQ(list().selected(), -1);

    list().setCurrentRow(2, QItemSelectionModel::ClearAndSelect);
    host.clear_log();
    w().run_command(cmd::move_down);
    EXPECT_EQ(last_message().text, "Last texture cannot be moved down.");

    list().setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
    host.clear_log();
    w().set_modified(false);
    w().run_command(cmd::move_up);
    EXPECT_TRUE(host.message_texts().empty());
    EXPECT_EQ(txd().texture_name(0, name_kind::texture), "b");
    EXPECT_EQ(txd().texture_name(1, name_kind::texture), "a");
    EXPECT_EQ(list().selected(), 0);
    EXPECT_EQ(list().item_text(0, 0), "1. b");
    EXPECT_TRUE(w().modified());

    w().run_command(cmd::move_down);
    EXPECT_EQ(txd().texture_name(1, name_kind::texture), "b");
    EXPECT_EQ(list().selected(), 1);
}

TEST_F(commands, change_version_stamps_every_chunk) {
    open_named({"a"});
    host.answer_modal([](modal_dialog& dialog) {
        auto& select = dynamic_cast<CRWSelect&>(dialog);
        EXPECT_EQ(select.initial_version, 0x1803FFFFu);
        select.result = 0x1C020065;
        return id_ok;
    });
    w().run_command(cmd::change_version);
    EXPECT_EQ(txd().root->version, 0x1C020065u);
    EXPECT_EQ(txd().texture_chunk(0)->child(3)->child(1)->version, 0x1C020065u);
    EXPECT_TRUE(w().modified());
    EXPECT_NE(status(3).find("0x1C020065"), std::string::npos) << status(3);
}

TEST_F(commands, version_zero_or_none_changes_nothing) {
    open_named({"a"});
    for (uint32_t choice : {0u, 0xFFFFFFFFu}) {
        host.answer_modal([choice](modal_dialog& dialog) {
            dynamic_cast<CRWSelect&>(dialog).result = choice;
            return id_ok;
        });
        w().run_command(cmd::change_version);
        EXPECT_EQ(txd().root->version, 0x1803FFFFu);
        EXPECT_FALSE(w().modified());
    }
}

TEST_F(commands, properties_apply_both_names) {
    ASSERT_TRUE(
        open(make_dictionary({make_ps2_texture({.name = "a", .mask = "am"}),
                              make_ps2_texture({.name = "b", .mask = "bm", .swizzled = true})})));
    list().setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
    host.answer_modal([](modal_dialog& dialog) {
        auto& properties = dynamic_cast<CTextureDialog&>(dialog);
        EXPECT_EQ(properties.name, L"b");
        EXPECT_EQ(properties.alpha_name, L"bm");
        EXPECT_EQ(properties.swizzled, 1);
        properties.initialize();
        properties.name_edit->setText("brick");
        properties.alpha_edit->setText("");
        properties.press_ok();
        return id_ok;
    });
    w().send_app_message(msg_texture_properties);
    EXPECT_TRUE(host.message_texts().empty());
    EXPECT_EQ(txd().texture_name(1, name_kind::texture), "brick");
    EXPECT_EQ(txd().texture_name(1, name_kind::mask), "");
    EXPECT_TRUE(w().modified());
    EXPECT_EQ(list().item_text(1, 1), "<unnamed alpha channel>"); // its palette has alpha
}

TEST_F(commands, properties_refuse_an_empty_name_and_cancel_keeps_everything) {
    open_named({"a"});
    host.answer_modal([](modal_dialog& dialog) {
        auto& properties = dynamic_cast<CTextureDialog&>(dialog);
        properties.name.clear();
        return id_ok;
    });
    w().send_app_message(msg_texture_properties);
    ASSERT_EQ(host.message_texts().size(), 1u);
    EXPECT_EQ(last_message().text, "You can't leave texture name empty!");
    EXPECT_EQ(last_message().caption, "Error");
    EXPECT_EQ(last_message().icon, box_icon::error);
    EXPECT_EQ(txd().texture_name(0, name_kind::texture), "a");
    EXPECT_FALSE(w().modified());

    host.answer_modal([](modal_dialog& dialog) {
        dynamic_cast<CTextureDialog&>(dialog).name = L"x";
        return id_cancel;
    });
    w().send_app_message(msg_texture_properties);
    EXPECT_EQ(txd().texture_name(0, name_kind::texture), "a");
    EXPECT_FALSE(w().modified());
}

TEST_F(commands, properties_of_a_pc_texture_rename_inside_its_struct) {
    ASSERT_TRUE(open(make_dictionary({pc_texture({.platform = 8, .name = "pc", .mask = "pm"})})));
    const uint32_t size_before = txd().texture_chunk(0)->child_count();
    host.answer_modal([](modal_dialog& dialog) {
        auto& properties = dynamic_cast<CTextureDialog&>(dialog);
        properties.name = L"renamed";
        properties.alpha_name = L"mask2";
        return id_ok;
    });
    w().send_app_message(msg_texture_properties);
    EXPECT_EQ(txd().texture_name(0, name_kind::texture), "renamed");
    EXPECT_EQ(txd().texture_name(0, name_kind::mask), "mask2");
    // No name String was added to the texture native.
    EXPECT_EQ(txd().texture_chunk(0)->child_count(), size_before);
}

TEST_F(commands, a_double_click_in_the_list_opens_the_properties) {
    open_named({"a", "b"});
    emit list().texture_properties_requested();
    const auto modals = host.of_kind(ui_event::modal);
    ASSERT_EQ(modals.size(), 1u);
    EXPECT_EQ(modals[0].text, "CTextureDialog");
}

TEST_F(commands, context_menu_commands_reach_the_window) {
    open_named({"a", "b"});
    emit list().command_requested(cmd::remove);
    EXPECT_EQ(last_message().caption, "Confirm texture delete");
}

} // namespace quillmap
