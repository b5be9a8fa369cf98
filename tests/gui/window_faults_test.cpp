// Faults found using the window as a modder does: each test failed before its mend.
#include "app/picture_control.h"
#include "views/import_choices_dialog.h"
#include "views/one_edit_dialog.h"
#include "views/ps2_problems_dialog.h"
#include "views/size_choice_dialog.h"
#include "views/status_pane.h"
#include "views/texture_info_list.h"
#include "views/texture_list.h"
#include "window_parts.h"

#include "views_support.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QComboBox>
#include <QDropEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QTreeWidget>
#include <QUrl>

#include <cmath>
#include <functional>

#include <gtest/gtest.h>

namespace quillmap {

using namespace views_test;

namespace {
struct window_faults : ::testing::Test, window_fixture {
    window_faults()
        : window_fixture("[main]\nenable_thumbs=0\nenable_warnings=0\nenable_info=1\n") {}
    CMainDialog& w() { return *window; }
    CTextureList& list() { return *static_cast<CTextureList*>(texture_list_of(*window)); }
    CTextureInfoList& info() { return *static_cast<CTextureInfoList*>(info_list_of(*window)); }
    std::string title() { return window->windowTitle().toStdString(); }
};
} // namespace

// A failed or abandoned open after "No" leaves the edited dictionary exactly as it was: still
// marked, with its history, so that closing still asks.
TEST_F(window_faults, an_open_that_does_not_happen_keeps_the_edit_marked) {
    struct row {
        const char* what;
        std::function<void(window_faults&)> answer_file;
    };
    const row rows[] = {
        {"empty file",
         [](window_faults& f) {
             f.host.answer_file(write_file(f.dir / "empty.txd", {}).string());
         }},
        {"damaged file",
         [](window_faults& f) {
             f.host.answer_file(write_file(f.dir / "bad.txd", {1, 2, 3, 4, 5}).string());
         }},
        {"cancelled dialog", [](window_faults& f) { f.host.cancel_file(); }},
    };
    for (const row& r : rows) {
        ASSERT_TRUE(open(make_dictionary(named_textures({"a", "b"}))));
        host.answer_message(id_yes);
        ASSERT_TRUE(w().run_command(cmd::remove));
        const std::string edited_title = title();
        ASSERT_TRUE(edited_title.find('*') != std::string::npos) << r.what;

        host.clear_log();
        host.answer_message(id_no);
        r.answer_file(*this);
        w().run_command(cmd::file_open);
        ASSERT_FALSE(host.log.empty());
        EXPECT_EQ(host.log.front().caption, "Open?") << r.what; // not "Exit?": nothing exits
        EXPECT_TRUE(w().modified()) << r.what;
        EXPECT_EQ(title(), edited_title) << r.what;
        EXPECT_TRUE(w().command_enabled(cmd::edit_undo)) << r.what;
        EXPECT_EQ(w().dictionary()->texture_count(), 1u) << r.what;

        // Closing still asks about the edit.
        host.clear_log();
        host.answer_message(id_cancel);
        w().close();
        EXPECT_EQ(host.message_texts().size(), 1u) << r.what;
        EXPECT_EQ(host.log.front().caption, "Exit?") << r.what;
    }
}

// The level chooser and the picture agree after a view or swizzle switch.
TEST_F(window_faults, a_view_switch_keeps_the_chosen_mip_level) {
    ASSERT_TRUE(open(make_dictionary(
        {make_ps2_texture({.name = "m", .width = 64, .height = 32, .depth = 8, .levels = 3})})));
    mip_box_of(w())->setCurrentIndex(2);
    emit mip_box_of(w())->activated(2);
    ASSERT_EQ(picture_of(w())->bitmap()->width, 16u);
    for (int id : {cmd::alpha_alpha, cmd::alpha_mixed, cmd::alpha_texture, cmd::swizzle_off,
                   cmd::swizzle_next, cmd::alpha_next}) {
        ASSERT_TRUE(w().run_command(id));
        EXPECT_EQ(mip_box_of(w())->currentIndex(), 2) << id;
        ASSERT_NE(picture_of(w())->bitmap(), nullptr) << id;
        EXPECT_EQ(picture_of(w())->bitmap()->width, 16u) << id;
        EXPECT_EQ(picture_of(w())->bitmap()->height, 8u) << id;
    }
}

// Tiles dragged out of the list and let go over the same window are neither imported nor
// opened; files from elsewhere still are.
TEST_F(window_faults, a_drag_that_ends_in_its_own_window_imports_nothing) {
    ASSERT_TRUE(open(make_dictionary(named_textures({"a", "b"}))));
    const std::vector<std::string> dragged = w().export_for_drag({0});
    ASSERT_EQ(dragged.size(), 1u);
    const auto drop_on = [&](QWidget* target) {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(dragged[0]))});
        mime.setData("application/x-quillmap-texture-drag",
                     QByteArray::number(QCoreApplication::applicationPid()));
        const QPoint at = list().visualItemRect(list().item(1)).center();
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
    };
    struct row {
        const char* where;
        QWidget* target;
    };
    const row rows[] = {{"window", &w()}, {"list", list().viewport()}};
    for (const row& r : rows) {
        drop_on(r.target);
        EXPECT_TRUE(host.message_texts().empty()) << r.where;
        EXPECT_EQ(w().dictionary()->texture_count(), 2u) << r.where;
        EXPECT_FALSE(w().modified()) << r.where;
    }
    // The same file from outside the window, let go beside the tiles, is an import.
    w().show();
    QApplication::processEvents();
    const QPoint beside(list().viewport()->width() - 2, list().viewport()->height() - 2);
    ASSERT_EQ(list().texture_at(beside), -1);
    // Under a name of its own: a texture's name is taken only once.
    const auto outside_file = dir / "outside.png";
    std::filesystem::copy_file(dragged[0], outside_file,
                               std::filesystem::copy_options::overwrite_existing);
    QMimeData outside;
    outside.setUrls({QUrl::fromLocalFile(QString::fromStdString(outside_file.string()))});
    QDragEnterEvent enter(beside, Qt::CopyAction, &outside, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list().viewport(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDragMoveEvent move(beside, Qt::CopyAction, &outside, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list().viewport(), &move);
    QDropEvent drop(beside, Qt::CopyAction, &outside, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list().viewport(), &drop);
    EXPECT_EQ(w().dictionary()->texture_count(), 3u)
        << (host.message_texts().empty() ? std::string() : host.message_texts().back());
    w().hide();
}

// After an edit, an undo, a save or a rename in place, the panel describes the dictionary as it
// stands: the addresses are those a fresh open of the saved file shows.
TEST_F(window_faults, the_information_panel_follows_every_edit) {
    ASSERT_TRUE(open(make_dictionary(
        {make_ps2_texture({.name = "small", .width = 16, .height = 16, .depth = 8}),
         make_ps2_texture({.name = "big", .width = 64, .height = 64, .depth = 8})})));
    // Where the file itself holds the texture's raster: past the raster data's header and its
    // first transfer header.
    const auto fresh_values = [&](int texture) {
        ps2_txd file;
        EXPECT_TRUE(file.load(std::filesystem::path(w().current_path()), 0, 0x16, 0));
        const rw_chunk* raster = file.texture_chunk(uint32_t(texture))->child(3)->child(1);
        const uint32_t pixels = file.width(uint32_t(texture)) * file.height(uint32_t(texture));
        return std::pair{
            QString("0x%1").arg(raster->data_offset + 80, 0, 16).toUpper().replace("0X", "0x"),
            QString("0x%1")
                .arg(raster->data_offset + pixels + 160, 0, 16)
                .toUpper()
                .replace("0X", "0x")};
    };
    list().setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
    const auto opened =
        std::pair{info().value_of("Raster address"), info().value_of("Palette address")};
    EXPECT_EQ(opened, fresh_values(1));

    ASSERT_TRUE(w().run_command(cmd::move_up)); // "big" is texture 0 now
    list().setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
    const auto moved =
        std::pair{info().value_of("Raster address"), info().value_of("Palette address")};
    EXPECT_NE(moved, opened);
    ASSERT_TRUE(w().run_command(cmd::file_save));
    EXPECT_EQ(moved, fresh_values(0));
    EXPECT_EQ(info().value_of("Raster address"), moved.first);

    ASSERT_TRUE(w().run_command(cmd::edit_undo));
    list().setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
    EXPECT_EQ(info().value_of("Raster address"), opened.first);

    ASSERT_TRUE(list().finish_rename(1, "renamed"));
    EXPECT_EQ(info().value_of("Texture Name"), "renamed");
}

// A value longer than the panel ends in an ellipsis and shows whole in its tooltip.
TEST_F(window_faults, long_information_values_elide_with_a_tooltip) {
    const std::string name(31, 'n');
    ASSERT_TRUE(open(make_dictionary({make_ps2_texture({.name = name, .mask = name})})));
    w().resize(700, 500);
    w().show();
    QApplication::processEvents();
    EXPECT_EQ(info().textElideMode(), Qt::ElideRight);
    const QHeaderView* header = info().header();
    // Both columns lie inside the panel: nothing is cut at its edge.
    EXPECT_LE(header->sectionSize(0) + header->sectionSize(1), info().viewport()->width());
    const QTreeWidgetItem* common = info().topLevelItem(0);
    ASSERT_NE(common, nullptr);
    EXPECT_EQ(common->child(0)->toolTip(1).toStdString(), name);
    w().hide();
}

// The problems list numbers textures from 1 as the texture list does, shows its Expected column
// whole, and a double-click selects the texture in the window.
TEST_F(window_faults, the_problems_list_counts_from_one_and_selects_on_double_click) {
    ASSERT_TRUE(open(make_dictionary(named_textures({"a", "b", "c"}))));
    ASSERT_TRUE(w().dictionary()->rename_texture(2, "A", name_kind::texture));
    const std::vector<ps2_problem> problems = lint_ps2_textures(*w().dictionary());
    ASSERT_FALSE(problems.empty());
    const ps2_problem& first = problems.front();
    std::string number, expected;
    bool whole = false;
    host.answer_modal([&](modal_dialog& dialog) {
        auto& shown = dynamic_cast<CPs2ProblemsDialog&>(dialog);
        shown.show();
        QApplication::processEvents();
        QTreeWidgetItem* row = shown.list->topLevelItem(0);
        number = row->text(0).toStdString();
        expected = row->text(4).toStdString();
        const QHeaderView* header = shown.list->header();
        whole = header->sectionPosition(4) + header->sectionSize(4) <=
                    shown.list->viewport()->width() &&
                header->sectionSize(4) >= shown.list->fontMetrics().horizontalAdvance(row->text(4));
        emit shown.list->itemDoubleClicked(row, 0);
        shown.hide();
        return id_ok;
    });
    list().setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
    ASSERT_TRUE(w().run_command(cmd::check_ps2_problems));
    EXPECT_EQ(number, std::to_string(first.texture + 1));
    EXPECT_EQ(expected, first.expected);
    EXPECT_TRUE(whole);
    EXPECT_EQ(w().list_selected(), int(first.texture));
}

// Delete never reaches a texture the filter hides.
TEST_F(window_faults, delete_spares_what_the_filter_hides) {
    struct row {
        const char* filter;
        std::vector<int> selected;
        uint32_t left;
    };
    const row rows[] = {
        {"zzz", {0}, 3},  // everything hidden
        {"b", {0, 1}, 2}, // only the shown one of the two goes
        {"", {0, 2}, 1},  // no filter: both go
    };
    for (const row& r : rows) {
        ASSERT_TRUE(open(make_dictionary(named_textures({"a", "b", "c"}))));
        list().setCurrentRow(r.selected.front(), QItemSelectionModel::ClearAndSelect);
        list().select_textures(r.selected);
        filter_box_of(w())->setText(r.filter);
        w().run_command(cmd::remove); // any question is answered Yes

        EXPECT_EQ(w().dictionary()->texture_count(), r.left) << r.filter;
        filter_box_of(w())->clear();
    }
}

// Ctrl+Z takes back the last edit wherever the focus is, the filter box included; only a name
// being edited in place keeps it for its text.
TEST_F(window_faults, ctrl_z_in_the_filter_box_undoes_the_edit) {
    ASSERT_TRUE(open(make_dictionary(named_textures({"a", "b"}))));
    w().show();
    list().setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
    ASSERT_TRUE(w().run_command(cmd::move_up));
    w().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w()));
    filter_box_of(w())->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), filter_box_of(w()));
    QTest::keyClicks(filter_box_of(w()), "b");
    QTest::keyClick(filter_box_of(w()), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(w().dictionary()->texture_name(0, name_kind::texture), "a");
    EXPECT_EQ(filter_box_of(w())->text(), "b");
    w().hide();
}

// The imported texture is the one shown; a conversion keeps the selection; the Replace dialog
// starts where the last export went; a rename to the same name is no edit.
TEST_F(window_faults, selections_and_folders_follow_the_work) {
    ASSERT_TRUE(open(make_dictionary(named_textures({"a", "b", "c"}))));
    // Export b, then import its picture: the new texture, the fourth, is selected.
    list().setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
    const auto out = dir / "out";
    std::filesystem::create_directories(out);
    host.answer_file((out / "b.png").string());
    ASSERT_TRUE(w().run_command(cmd::export_png));
    // Imported under a name of its own: a texture's name is taken only once.
    std::filesystem::copy_file(out / "b.png", out / "d.png",
                               std::filesystem::copy_options::overwrite_existing);
    host.answer_file((out / "d.png").string());
    host.answer_modal([](modal_dialog&) { return id_ok; });
    ASSERT_TRUE(w().run_command(cmd::import_file));
    ASSERT_EQ(w().dictionary()->texture_count(), 4u);
    EXPECT_EQ(w().list_selected(), 3);

    // Replace starts in the folder of the export.
    host.clear_log();
    host.cancel_file();
    list().setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
    w().run_command(cmd::replace);
    const auto asked = host.of_kind(ui_event::file);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(std::filesystem::path(asked[0].request.initial_name).parent_path(), out);

    // Two textures converted together stay selected together.
    list().setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
    list().select_textures({2});
    ASSERT_TRUE(w().run_command(cmd::convert_32bpp));
    EXPECT_EQ(list().selected_textures(), (std::vector<int>{0, 2}));

    // The same name again: no new undo step, nothing to save.
    ASSERT_TRUE(w().run_command(cmd::file_save));
    const QString last_step = w().action(cmd::edit_undo)->text();
    host.answer_modal([](modal_dialog&) { return id_ok; }); // the dialog keeps the name
    list().setCurrentRow(2, QItemSelectionModel::ClearAndSelect);
    ASSERT_TRUE(w().run_command(cmd::rename));
    EXPECT_FALSE(w().modified());
    EXPECT_TRUE(list().finish_rename(2, "c"));
    EXPECT_FALSE(w().modified());
    EXPECT_EQ(w().action(cmd::edit_undo)->text(), last_step);
    // A real rename through the dialog keeps the renamed texture selected.
    host.answer_modal([](modal_dialog& dialog) {
        dynamic_cast<COneEditDialog&>(dialog).value = "renamed";
        return id_ok;
    });
    ASSERT_TRUE(w().run_command(cmd::rename));
    EXPECT_EQ(w().dictionary()->texture_name(2, name_kind::texture), "renamed");
    EXPECT_EQ(w().list_selected(), 2);
}

// Items that would do nothing visible are grayed: without a dictionary, and "PC Version" and
// "Stretch Image" until they do something.
TEST_F(window_faults, items_that_do_nothing_are_grayed) {
    struct row {
        int id;
        bool without_dictionary;
        bool with_ps2_dictionary;
    };
    const row rows[] = {
        {cmd::stretch_image, false, false}, {cmd::check_ps2_problems, false, true},
        {cmd::change_version, false, true}, {cmd::convert_pc, false, true},
        {cmd::convert_ps2, false, false},   {cmd::import_file, false, true},
        {cmd::export_all, false, true},     {cmd::file_open, true, true},
        {cmd::convert_mobile, false, true},
    };
    for (const row& r : rows)
        EXPECT_EQ(w().command_enabled(r.id), r.without_dictionary) << r.id;
    ASSERT_TRUE(open(make_dictionary(named_textures({"a"}))));
    for (const row& r : rows)
        EXPECT_EQ(w().command_enabled(r.id), r.with_ps2_dictionary) << r.id;
    // A grayed item's keys do nothing either: no message about a missing dictionary.
    window.reset();
    window_fixture empty;
    QTest::keyClick(empty.window.get(), Qt::Key_E, Qt::ControlModifier);
    EXPECT_TRUE(empty.host.log.empty());
}

// The usual keys beside the classic ones, each doing what its item does.
TEST_F(window_faults, the_usual_keys_do_their_work) {
    ASSERT_TRUE(open(make_dictionary(named_textures({"a", "b"}))));
    w().show();
    w().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w()));
    QWidget* focus = texture_list_of(w());
    focus->setFocus();
    picture_of(w())->set_zoom(400);
    QTest::keyClick(focus, Qt::Key_0, Qt::ControlModifier);
    EXPECT_EQ(picture_of(w())->zoom_percent(), 100);
    QTest::keyClick(focus, Qt::Key_9, Qt::ControlModifier);
    EXPECT_TRUE(picture_of(w())->fits());

    QTest::keyClick(focus, Qt::Key_F2);
    ASSERT_EQ(host.of_kind(ui_event::modal).size(), 1u);
    EXPECT_EQ(host.of_kind(ui_event::modal)[0].text, "COneEditDialog");

    QTest::keyClick(focus, Qt::Key_E, Qt::ControlModifier);
    ASSERT_EQ(host.of_kind(ui_event::file).size(), 1u);
    EXPECT_TRUE(host.of_kind(ui_event::file)[0].request.save);

    QTest::keyClick(focus, Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_EQ(host.of_kind(ui_event::file).size(), 2u);
    EXPECT_FALSE(host.of_kind(ui_event::file)[1].request.save);

    // Ctrl+Shift+S is still the next swizzle mode, not a Save As.
    QTest::keyClick(focus, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(w().swizzle_mode(), swizzle_mode::off);
    EXPECT_EQ(host.of_kind(ui_event::file).size(), 2u);

    QTest::keyClick(focus, Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), filter_box_of(w()));
    w().hide();
}

// A stored rectangle larger than the screen comes back inside it; a maximised window comes back
// maximised; stored column widths leave the preview at least a third of the width.
TEST_F(window_faults, the_window_comes_back_on_screen) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    struct row {
        QRect stored;
        int maximized;
    };
    const row rows[] = {
        {QRect(screen.left() + 40, screen.top() + 30, screen.width() + 900, screen.height() + 700),
         0},
        {QRect(screen.right() - 50, screen.bottom() - 50, 700, 500), 0},
        {QRect(screen.left() + 10, screen.top() + 10, 600, 400), 1},
    };
    for (const row& r : rows) {
        window_fixture f(
            "[main]\nenable_thumbs=0\nenable_info=1\npane_sizes=600,10,600\n"
            "maximized=" +
            std::to_string(r.maximized) + "\npos_left=" + std::to_string(r.stored.left()) +
            "\npos_top=" + std::to_string(r.stored.top()) +
            "\npos_right=" + std::to_string(r.stored.left() + r.stored.width()) +
            "\npos_bottom=" + std::to_string(r.stored.top() + r.stored.height()) + "\n");
        f.window->show();
        QApplication::processEvents();
        EXPECT_EQ(f.window->isMaximized(), r.maximized != 0);
        EXPECT_TRUE(screen.contains(f.window->geometry())) << r.stored.x();
        const int inner = client_of(*f.window)->width() - 6;
        EXPECT_GE(picture_of(*f.window)->width() * 3, inner - 3 * 10) << r.stored.x();
        // Closing stores the state it found.
        f.host.answer_message(id_no);
        f.window->close();
        EXPECT_EQ(settings_file(f.dir / "Quillmap.ini").read_int("main", "maximized", 9),
                  r.maximized);
    }
}

// At the default size the status panes lie side by side inside the bar, and a message longer
// than its pane ends in an ellipsis with the whole message in the tooltip.
TEST_F(window_faults, the_status_bar_never_cuts_a_text_silently) {
    const std::string name(60, 'x');
    ASSERT_TRUE(open(make_dictionary(named_textures({"a", "b"})), name + ".txd"));
    w().show();
    QApplication::processEvents();
    const QList<status_pane*> panes = status_bar_of(w())->findChildren<status_pane*>();
    ASSERT_EQ(panes.size(), 4);
    const QRect bar = status_bar_of(w())->rect();
    for (status_pane* pane : panes) {
        EXPECT_TRUE(bar.contains(pane->geometry())) << pane->full_text().toStdString();
        for (status_pane* other : panes)
            if (other != pane) {
                EXPECT_FALSE(pane->geometry().intersects(other->geometry()));
            }
        const bool fits = pane->fontMetrics().horizontalAdvance(pane->full_text()) <=
                          pane->contentsRect().width();
        if (fits) {
            EXPECT_EQ(pane->text(), pane->full_text());
        } else {
            EXPECT_TRUE(pane->text().endsWith(QChar(0x2026))) << pane->text().toStdString();
            EXPECT_EQ(pane->toolTip(), pane->full_text());
        }
    }
    EXPECT_TRUE(w().status_text(0).endsWith("kBytes allocated)"));
    w().hide();
}

// A picture that is no PS2 size is offered the nearest sizes in the choices dialog, under its
// own name and size; it comes in at the size chosen.
TEST_F(window_faults, a_picture_of_another_size_is_scaled_to_a_chosen_one) {
    ASSERT_TRUE(open(make_dictionary(named_textures({"a"}))));
    QImage picture(48, 20, QImage::Format_RGBA8888);
    picture.fill(QColor(10, 200, 30));
    const auto file = dir / "odd.png";
    ASSERT_TRUE(picture.save(QString::fromStdString(file.string())));
    struct row {
        int size_row;
        uint32_t width, height;
    };
    for (const row& r : {row{0, 64, 16}, row{2, 64, 32}}) {
        std::vector<std::string> offered;
        std::string heading;
        host.answer_file(file.string());
        host.answer_modal([&](modal_dialog& dialog) {
            auto& ask = dynamic_cast<CImportChoicesDialog&>(dialog);
            ask.initialize();
            heading = ask.heading_label->text().toStdString();
            for (int i = 0; i < ask.size_box->count(); ++i)
                offered.push_back(ask.size_box->itemText(i).toStdString());
            ask.size_box->setCurrentIndex(r.size_row);
            ask.press_ok();
            return id_ok;
        });
        ASSERT_TRUE(w().run_command(cmd::import_file));
        EXPECT_EQ(offered, (std::vector<std::string>{"64x16", "32x16", "64x32"}));
        EXPECT_EQ(heading, "odd.png (48x20)");
        const uint32_t added = w().dictionary()->texture_count() - 1;
        EXPECT_EQ(w().dictionary()->width(added), r.width);
        EXPECT_EQ(w().dictionary()->height(added), r.height);
        // The next row imports the same file again, and a texture's name is taken only once.
        ASSERT_TRUE(w().run_command(cmd::edit_undo));
    }
    EXPECT_TRUE(host.message_texts().empty());
}

namespace {
double luminance(QColor c) {
    const auto channel = [](double v) {
        v /= 255.0;
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
}
// The strongest contrast (WCAG ratio) of any pixel of `area` against `background`.
double strongest_contrast(const QImage& image, const QRect& area, QColor background) {
    double best = 1.0;
    const double b = luminance(background);
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            if (!image.rect().contains(x, y)) continue;
            const double l = luminance(image.pixelColor(x, y));
            best = std::max(best, (std::max(l, b) + 0.05) / (std::min(l, b) + 0.05));
        }
    return best;
}
} // namespace

// In the dark theme a checked radio button and the check marks of menu items stand out from
// their background.
TEST_F(window_faults, dark_theme_marks_are_plain_to_see) {
    w().set_theme(theme::dark);
    QRadioButton radio("0x1803FFFF");
    radio.setChecked(true);
    radio.resize(radio.sizeHint());
    const QImage shot = radio.grab().toImage();
    QStyleOptionButton option;
    option.initFrom(&radio);
    const QRect indicator =
        radio.style()->subElementRect(QStyle::SE_RadioButtonIndicator, &option, &radio);
    // The dot against the inside of the ring.
    const QColor inside = shot.pixelColor(indicator.left() + 3, indicator.center().y());
    EXPECT_GE(strongest_contrast(shot, indicator.adjusted(4, 4, -4, -4), inside), 4.5);

    struct row {
        bool exclusive;
        bool enabled;
    };
    for (const row& r : {row{false, true}, row{true, true}, row{false, false}}) {
        QMenu menu;
        QAction* item = menu.addAction("8 bpp");
        item->setCheckable(true);
        item->setChecked(true);
        item->setEnabled(r.enabled);
        if (r.exclusive) (new QActionGroup(&menu))->addAction(item);
        menu.ensurePolished();
        menu.adjustSize();
        const QImage image = menu.grab().toImage();
        const QRect place = menu.actionGeometry(item);
        const QColor back = image.pixelColor(place.right() - 2, place.center().y());
        const QRect check(place.left(), place.top(), place.height() + 4, place.height());
        EXPECT_GE(strongest_contrast(image, check, back), r.enabled ? 4.5 : 3.0)
            << r.exclusive << r.enabled;
    }
    w().set_theme(theme::system);
}

} // namespace quillmap
