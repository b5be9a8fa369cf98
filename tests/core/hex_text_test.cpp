#include "stream/hex_text.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace quillmap {

// Both forms on one table: command line arguments take the whole text, the version edit box and
// settings the number the text starts with.
TEST(HexText, ParsesBothFormsAsTheirUsersExpect) {
    struct row {
        const char* text;
        std::optional<uint32_t> whole;
        std::optional<uint32_t> leading;
    };
    const row rows[] = {
        {"1803FFFF", 0x1803FFFF, 0x1803FFFF},
        {"0x1803ffff", 0x1803FFFF, 0x1803FFFF},
        {"0X10", 0x10, 0x10},
        {"FFFFFFFF", 0xFFFFFFFF, 0xFFFFFFFF},
        {"100000000", std::nullopt, std::nullopt}, // 33 bits
        {"000000001", std::nullopt, 1},            // nine digits, still 32 bits
        {"  0x2A", std::nullopt, 0x2A},
        {"\t7", std::nullopt, 7},
        {"1Fzz", std::nullopt, 0x1F},
        {"0x", std::nullopt, std::nullopt},
        {"x1", std::nullopt, std::nullopt},
        {"", std::nullopt, std::nullopt},
        {"   ", std::nullopt, std::nullopt},
        {"-1", std::nullopt, std::nullopt},
        {"0", 0, 0},
        {"FFFFFFFFFFFFFFFFFFFF", std::nullopt, std::nullopt}, // never wraps around
    };
    for (const row& r : rows) {
        EXPECT_EQ(parse_hex(r.text, hex_form::whole_text), r.whole) << '"' << r.text << '"';
        EXPECT_EQ(parse_hex(r.text, hex_form::leading_number), r.leading) << '"' << r.text << '"';
    }
}

} // namespace quillmap
