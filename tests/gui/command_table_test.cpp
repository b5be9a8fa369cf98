// The menus the window and the texture list build agree with the command table, and the table
// itself is sound: one binding per key, shortcut texts that name the keys that run the command,
// no two items of one menu sharing a mnemonic.
#include "views/command_table.h"
#include "views/texture_list.h"
#include "window_parts.h"

#include "views_support.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace quillmap {

using namespace views_test;

namespace {
struct command_table_test : ::testing::Test, window_fixture {
    command_table_test()
        : window_fixture("[main]\nenable_thumbs=0\nenable_warnings=0\nenable_debug_mode=1\n") {}
};

// The letter after a single '&', lower-cased; 0 when the text has none.
QChar mnemonic_of(const QString& text) {
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '&') continue;
        if (text[i + 1] == '&') {
            ++i;
            continue;
        }
        return text[i + 1].toLower();
    }
    return {};
}

// The text after the tab, which the menu shows as the item's keys.
QString shown_keys(const char* label) {
    const QString text = QString::fromUtf8(label);
    const qsizetype tab = text.indexOf('\t');
    return tab < 0 ? QString() : text.mid(tab + 1);
}

QString key_text(const key_binding& binding) {
    return QKeySequence(QKeyCombination(binding.modifiers, Qt::Key(binding.key)))
        .toString(QKeySequence::PortableText);
}

// Every menu under `menu` (itself included), each with its items.
void collect_menus(QMenu* menu, std::vector<QMenu*>& menus) {
    menus.push_back(menu);
    for (QAction* a : menu->actions())
        if (a->menu()) collect_menus(a->menu(), menus);
}

// No two visible items of one menu share a mnemonic.
void expect_distinct_mnemonics(const QList<QAction*>& items, const QString& where) {
    std::map<QChar, QString> seen;
    for (QAction* a : items) {
        if (a->isSeparator() || !a->isVisible()) continue;
        const QChar m = mnemonic_of(a->text());
        if (m.isNull()) continue;
        const auto [at, fresh] = seen.emplace(m, a->text());
        EXPECT_TRUE(fresh) << where.toStdString() << ": '" << a->text().toStdString() << "' and '"
                           << at->second.toStdString() << "' share &" << QString(m).toStdString();
    }
}
} // namespace

TEST_F(command_table_test, the_menu_bar_holds_every_row_and_nothing_else) {
    std::vector<QMenu*> menus;
    for (QAction* top : menu_bar_of(*window)->actions())
        collect_menus(top->menu(), menus);
    std::set<int> in_menus;
    for (QMenu* menu : menus) {
        for (QAction* a : menu->actions()) {
            if (a->isSeparator() || a->menu()) continue;
            const int id = a->data().toInt();
            if (id >= cmd::recent_first && id <= cmd::recent_last) continue;
            const command_row* row = command_of(id);
            ASSERT_NE(row, nullptr) << a->text().toStdString();
            EXPECT_NE(row->menu, menu_id::none) << id;
            EXPECT_EQ(window->action(id), a) << id;
            in_menus.insert(id);
        }
    }
    for (const command_row& row : command_table()) {
        if (row.id == 0 || row.menu == menu_id::none) continue;
        EXPECT_TRUE(in_menus.count(row.id)) << row.label;
        // Undo and Redo name the step they take; the rest show their row's text.
        if (row.id != cmd::edit_undo && row.id != cmd::edit_redo) {
            EXPECT_EQ(window->action(row.id)->text().toStdString(), row.label);
        }
        EXPECT_EQ(window->action(row.id)->isCheckable(), bool(row.flags & checkable)) << row.label;
    }
}

TEST_F(command_table_test, no_menu_shares_a_mnemonic) {
    ASSERT_TRUE(open(make_dictionary(named_textures({"a", "b"}))));
    expect_distinct_mnemonics(menu_bar_of(*window)->actions(), "menu bar");
    std::vector<QMenu*> menus;
    for (QAction* top : menu_bar_of(*window)->actions())
        collect_menus(top->menu(), menus);
    auto& list = *static_cast<CTextureList*>(texture_list_of(*window));
    list.show();
    std::vector<std::unique_ptr<QMenu>> popups;
    popups.push_back(list.context_menu_at(list.visualItemRect(list.item(0)).center()));
    list.item(1)->setSelected(true);
    popups.push_back(list.context_menu_at(list.visualItemRect(list.item(1)).center()));
    for (auto& popup : popups) {
        ASSERT_NE(popup, nullptr);
        collect_menus(popup.get(), menus);
    }
    for (QMenu* menu : menus)
        expect_distinct_mnemonics(menu->actions(), menu->title());
}

TEST_F(command_table_test, every_key_runs_one_command_and_the_menu_names_it) {
    std::map<QString, int> bound;
    for (const command_row& row : command_table()) {
        for (const key_binding& binding : row.keys) {
            if (binding.key == 0) continue;
            const QString keys =
                QString::number(binding.key) + "/" + QString::number(binding.modifiers.toInt());
            const auto [at, fresh] = bound.emplace(keys, row.id);
            EXPECT_TRUE(fresh) << key_text(binding).toStdString() << " runs " << row.id << " and "
                               << at->second;
            EXPECT_EQ(CMainDialog::accelerator_command(binding.key, binding.modifiers), row.id)
                << key_text(binding).toStdString();
        }
        // The keys a menu item shows are the first that run it.
        if (row.label && row.keys[0].key != 0 && !shown_keys(row.label).isEmpty()) {
            EXPECT_EQ(shown_keys(row.label), key_text(row.keys[0])) << row.label;
        }
    }
    // Within the menu bar, and within each pop-up menu, no two items show the same keys.
    std::map<QString, const char*> shown;
    for (const command_row& row : command_table()) {
        if (row.menu == menu_id::none || !row.label) continue;
        const QString keys = shown_keys(row.label);
        if (keys.isEmpty() || keys.startsWith('.')) continue; // the export items show extensions
        const auto [at, fresh] = shown.emplace(keys, row.label);
        EXPECT_TRUE(fresh) << row.label << " and " << at->second;
    }
}

TEST_F(command_table_test, pop_up_items_run_their_rows_commands) {
    ASSERT_TRUE(open(make_dictionary(named_textures({"a", "b"}))));
    auto& list = *static_cast<CTextureList*>(texture_list_of(*window));
    list.show();
    // Only what the items ask for is looked at here; the window does not run it.
    QObject::disconnect(&list, &CTextureList::command_requested, window.get(), nullptr);
    struct row {
        bool several;
        uint32_t menu;
    };
    for (const row& r :
         {row{false, in_popup(menu_id::popup_one)}, row{true, in_popup(menu_id::popup_many)}}) {
        if (r.several) list.item(1)->setSelected(true);
        auto popup = list.context_menu_at(list.visualItemRect(list.item(1)).center());
        ASSERT_NE(popup, nullptr);
        std::vector<QMenu*> menus;
        collect_menus(popup.get(), menus);
        QSignalSpy asked(&list, &CTextureList::command_requested);
        for (QMenu* menu : menus)
            for (QAction* a : menu->actions()) {
                if (a->isSeparator() || a->menu()) continue;
                const command_row* command = command_of(a->data().toInt());
                ASSERT_NE(command, nullptr) << a->text().toStdString();
                EXPECT_NE(command->popups, 0u) << a->text().toStdString();
                // The item asks the window for its own row's command.
                asked.clear();
                QMetaObject::invokeMethod(a, "triggered", Q_ARG(bool, false));
                ASSERT_EQ(asked.count(), 1) << a->text().toStdString();
                EXPECT_EQ(asked.at(0).at(0).toInt(), command->id) << r.menu;
            }
    }
}

} // namespace quillmap
