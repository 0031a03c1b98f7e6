#include "text/format_size.h"

#include <charconv>

std::string format_size(std::uint64_t bytes) {
    static constexpr const char* kUnits[] = {"B", "KB", "MB", "GB"};
    // The count as the nearest double (exact up to 2^53). Scaling by powers of
    // two is exact, so the shown value splits exactly into a whole part below
    // 2^35 and a rest below the unit, both held in 64 bits.
    const double count = static_cast<double>(bytes);
    double unit_size = 1;
    int unit = 0;
    while (unit < 3 && count >= unit_size * 1024) {
        unit_size *= 1024;
        ++unit;
    }
    const int shift = 10 * unit;
    std::uint64_t whole = static_cast<std::uint64_t>(count / unit_size);
    const auto rest = static_cast<std::uint64_t>(count - static_cast<double>(whole) * unit_size);
    // The tenth, rounded to the nearest and a tie to the even one.
    const std::uint64_t rest_tenths = rest * 10;
    std::uint64_t tenth = rest_tenths >> shift;
    if (shift > 0) {
        const std::uint64_t below = rest_tenths - (tenth << shift);
        const std::uint64_t half = std::uint64_t{1} << (shift - 1);
        if (below > half || (below == half && (tenth & 1) != 0)) ++tenth;
    }
    if (tenth == 10) {
        ++whole;
        tenth = 0;
    }
    char text[24];
    char* end = std::to_chars(text, text + 20, whole).ptr;
    *end++ = '.';
    *end++ = static_cast<char>('0' + tenth);
    *end++ = ' ';
    std::string size(text, end);
    size += kUnits[unit];
    return size;
}
