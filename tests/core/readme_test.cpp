// README.md cannot drift from the program: its command synopsis is the one quillmap-cli writes
// from its command table (`quillmap-cli --synopsis`), and its Layout names every source folder.
#include "run_cli.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace quillmap {

namespace {
std::string readme() {
    std::ifstream in(std::filesystem::path(QUILLMAP_SOURCE_DIR) / "README.md");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The text of the section headed `heading` (up to the next heading of its level).
std::string section(const std::string& text, const std::string& heading) {
    const size_t start = text.find("\n" + heading + "\n");
    if (start == std::string::npos) return {};
    const size_t end = text.find("\n## ", start + heading.size() + 2);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}
} // namespace

TEST(Readme, SynopsisIsTheCommandTables) {
    const std::string cli = section(readme(), "## quillmap-cli");
    ASSERT_FALSE(cli.empty()) << "README.md has no quillmap-cli section";
    const size_t open = cli.find("```sh\n");
    ASSERT_NE(open, std::string::npos);
    const size_t close = cli.find("```\n", open + 6);
    ASSERT_NE(close, std::string::npos);
    const std::string shown = cli.substr(open + 6, close - open - 6);
    const cli_result generated = run_cli({"--synopsis"});
    ASSERT_EQ(generated.exit_code, 0) << generated.err;
    ASSERT_NE(generated.out.find("quillmap-cli mips "), std::string::npos) << generated.out;
    EXPECT_EQ(shown, generated.out)
        << "README.md's synopsis differs from the command table: paste the output of "
           "`quillmap-cli --synopsis` into its block";
}

TEST(Readme, LayoutNamesEverySourceFolder) {
    const std::string layout = section(readme(), "## Layout");
    ASSERT_FALSE(layout.empty()) << "README.md has no Layout section";
    size_t folders = 0;
    for (const auto& item :
         std::filesystem::directory_iterator(std::filesystem::path(QUILLMAP_SOURCE_DIR) / "src")) {
        if (!item.is_directory()) continue;
        ++folders;
        const std::string name = "`src/" + item.path().filename().string() + "`";
        EXPECT_NE(layout.find(name), std::string::npos) << name << " is missing from the Layout";
    }
    EXPECT_GE(folders, 10u);
}

} // namespace quillmap
