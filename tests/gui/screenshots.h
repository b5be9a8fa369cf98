#pragma once

#include <filesystem>

namespace quillmap {

// Writes pictures of the window's tools into `out`; 0 when every one was written.
int take_screenshots(const std::filesystem::path& out);

} // namespace quillmap
