#pragma once

#include "session/editor_session.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace quillmap {

// What Save would write now: the open dictionary saved to a new file in `dir`, read back.
inline std::vector<uint8_t> saved_bytes(editor_session& session, const std::filesystem::path& dir) {
    static int n = 0;
    const auto out = dir / ("state" + std::to_string(n++) + ".txd");
    EXPECT_TRUE(session.dictionary()->save(out, 0));
    return read_file(out);
}

} // namespace quillmap
