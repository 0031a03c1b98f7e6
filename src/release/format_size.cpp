#include "release/format_size.h"

#include "base/decimal.h"

std::string format_size(std::uint64_t bytes) {
    static constexpr const char* kUnits[] = {"B", "KB", "MB", "GB"};
    // The count as the nearest double (exact up to 2^53), which is a whole
    // number below 2^65, so it is held exactly in 128 bits. Each unit step
    // divides by 2^10 exactly, so the shown value is whole / 2^(10 * unit).
    const auto whole = static_cast<unsigned __int128>(static_cast<double>(bytes));
    int unit = 0;
    while (unit < 3 && whole >= (static_cast<unsigned __int128>(1024) << (10 * unit))) {
        ++unit;
    }
    const int shift = 10 * unit;
    const unsigned __int128 tenths = whole * 10;
    unsigned __int128 rounded = tenths >> shift;
    if (shift > 0) {
        const unsigned __int128 rest = tenths & ((static_cast<unsigned __int128>(1) << shift) - 1);
        const unsigned __int128 half = static_cast<unsigned __int128>(1) << (shift - 1);
        if (rest > half || (rest == half && (rounded & 1) != 0)) ++rounded;
    }
    return decimal(static_cast<std::uint64_t>(rounded / 10)) + "." +
           decimal(static_cast<unsigned>(rounded % 10)) + " " + kUnits[unit];
}
