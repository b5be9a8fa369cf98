#include "platform/system.h"

#include <cstdio>
#include <string>

namespace quillmap {

int build_number_of(std::string_view build_date) {
    static constexpr int days_to_month_end[12] = {31,  59,  90,  120, 151, 181,
                                                  212, 243, 273, 303, 334, 365};
    static constexpr std::string_view months = "Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec";
    const std::string text(build_date);
    char month[4] = {};
    int day = 0;
    int year = 0;
    if (std::sscanf(text.c_str(), "%3s %d %d", month, &day, &year) != 3) return 0;
    const size_t found = months.find(month);
    // The build tool always stamps a valid month; anything else gives no number at all.
    if (found == std::string_view::npos || found % 4 != 0 || std::string_view(month).size() != 3)
        return 0;
    const int index = static_cast<int>(found / 4);
    return year * 365 + days_to_month_end[index] + day - 734046;
}

bool is_valid_utf8(std::string_view bytes) {
    size_t i = 0;
    while (i < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        size_t extra = 0;
        uint32_t code = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1, code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2, code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3, code = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= bytes.size()) return false;
        for (size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        static constexpr uint32_t smallest[4] = {0, 0x80, 0x800, 0x10000};
        if (code < smallest[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

const char* build_date() {
    return __DATE__;
}
const char* build_time() {
    return __TIME__;
}
int build_number() {
    return build_number_of(build_date());
}

} // namespace quillmap
