#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillmap {

// The build number of a build date "Mmm d yyyy": year * 365 + days to the end of the month
// + day - 734046 ("Mar 21 2012" gives 445).
int build_number_of(std::string_view build_date);

// The date and time this program was built, as the compiler stamps them ("Mar 21 2012").
const char* build_date();
const char* build_time();
// The build number of this program.
int build_number();
// The program's version, shown with the build number.
inline constexpr const char* k_program_version = "v0.21";

// Whether bytes form valid UTF-8 (a hand-edited settings file may be in a single-byte code).
bool is_valid_utf8(std::string_view bytes);

} // namespace quillmap
