#include "main_fixture.h"

#include "views/ps2_problems_dialog.h"

#include <QAction>
#include <QLabel>
#include <QTreeWidget>

namespace quillmap {

namespace {

class Ps2ProblemsCommand : public MainWindowTest {
  protected:
    // Runs the Texture menu entry and returns what the dialog listed.
    std::pair<int, std::string> check(CMainDialog& window) {
        QAction* entry = nullptr;
        for (QAction* a : window.findChildren<QAction*>())
            if (a->text() == QString::fromUtf8("Check for PS2 problems\u2026")) entry = a;
        EXPECT_TRUE(entry);
        if (!entry) return {-1, ""};
        std::pair<int, std::string> seen{-1, ""};
        host.answer_modal([&seen](modal_dialog& dialog) {
            auto& problems = dynamic_cast<CPs2ProblemsDialog&>(dialog);
            seen = {problems.list->topLevelItemCount(), problems.summary->text().toStdString()};
            return id_ok;
        });
        entry->trigger();
        return seen;
    }
};

TEST_F(Ps2ProblemsCommand, RealFileHasNone) {
    SKIP_WITHOUT_SAMPLES();
    auto window = make_window({sample("VEHICLE2.txd").string()});
    ASSERT_EQ(window->dictionary()->texture_count(), 1u);
    EXPECT_EQ(check(*window), std::make_pair(0, std::string("No PS2 problems found.")));
}

TEST_F(Ps2ProblemsCommand, ListsEveryProblem) {
    // Two textures with the same name: one row, whatever their header words say.
    auto window = make_window({write_dictionary("two.txd", 2)});
    ASSERT_TRUE(window->dictionary());
    ASSERT_TRUE(window->dictionary()->rename_texture(1, "TEX0", name_kind::texture));
    const size_t expected = lint_ps2_textures(*window->dictionary()).size();
    ASSERT_GT(expected, 0u);
    const auto [rows, summary] = check(*window);
    EXPECT_EQ(size_t(rows), expected);
    EXPECT_EQ(summary, std::to_string(expected) + " problem(s) found.");
}

} // namespace

} // namespace quillmap
