#include "support/log_line.h"

#include <algorithm>
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

std::string url_for_log(std::string_view text) {
    text = text.substr(0, text.find_first_of("?#"));
    std::string out;
    while (!text.empty()) {
        const std::size_t entry_start = std::min(text.size(), text.find_first_not_of("; \t"));
        out += text.substr(0, entry_start);
        text.remove_prefix(entry_start);
        std::string_view entry = text.substr(0, text.find_first_of("; \t"));
        text.remove_prefix(entry.size());
        // "https=" in a proxy list, then "http://": both kept.
        std::size_t kept = 0;
        const auto first_of = [&](std::string_view set) {
            return std::min(entry.size(), entry.find_first_of(set, kept));
        };
        if (const auto mark = first_of("=:/@["); entry.substr(mark, 1) == "=") kept = mark + 1;
        const auto scheme_end = first_of(":/@");
        const bool is_url = entry.substr(scheme_end, 3) == "://";
        if (is_url) kept = scheme_end + 3;
        out += entry.substr(0, kept);
        entry.remove_prefix(kept);
        // Userinfo ends at the authority's last "@": in a URL one in the path
        // stays; a bare proxy entry has no path, but may have a "/" in its
        // password.
        const auto at = entry.substr(0, is_url ? entry.find('/') : entry.size()).rfind('@');
        out += entry.substr(at == std::string_view::npos ? 0 : at + 1);
    }
    return out;
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
