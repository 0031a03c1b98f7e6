#include "support/log_line.h"

#include <charconv>

namespace {

// `value` in exactly `width` digits, zeros in front.
void append_digits(std::string& out, unsigned value, int width) {
    char digits[8];
    for (int i = width - 1; i >= 0; --i, value /= 10)
        digits[i] = static_cast<char>('0' + value % 10);
    out.append(digits, static_cast<std::size_t>(width));
}

void append_number(std::string& out, std::uint32_t value) {
    char digits[12];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end);
}

}  // namespace

std::string log_line(const LogTime& time, std::uint32_t process, std::uint32_t thread,
                     std::string_view text) {
    std::string line;
    line.reserve(40 + text.size());
    append_digits(line, time.year, 4);
    const struct {
        char before;
        unsigned value;
        int width;
    } fields[] = {{'-', time.month, 2},  {'-', time.day, 2},    {'T', time.hour, 2},
                  {':', time.minute, 2}, {':', time.second, 2}, {'.', time.millisecond, 3}};
    for (const auto& field : fields) {
        line += field.before;
        append_digits(line, field.value, field.width);
    }
    line += "Z [";
    append_number(line, process);
    line += ':';
    append_number(line, thread);
    line += "] ";
    for (const char c : text) line += (c == '\r' || c == '\n') ? ' ' : c;
    line += "\r\n";
    return line;
}

unsigned tenth_of(std::uint64_t received, std::uint64_t total) {
    if (received >= total) return 10;
    // The largest k with 10 * received >= k * total, in 64 bits: with
    // total = 10q + m, k * total / 10 is k * q plus k * m / 10, below 9.
    const std::uint64_t q = total / 10;
    const std::uint64_t m = total % 10;
    unsigned k = 0;
    while (k < 9) {
        const std::uint64_t base = (k + 1) * q;
        if (received < base) break;
        const std::uint64_t rest = received - base;
        if (rest < 9 && rest * 10 < (k + 1) * m) break;
        ++k;
    }
    return k;
}
