// A second, independent account of UTF-8 for the fuzz targets to compare the
// program's decoder against. The program decodes by ranges of the second byte;
// this one enumerates every scalar value once, stores each encoding and each
// of its proper prefixes in tables, and decodes by looking bytes up. An error
// in either shows up as a difference.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace utf8_model {

// Encoding by counting the continuation bytes first, then filling from the end.
inline std::string encode(char32_t c) {
    const int extra = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    std::string out(static_cast<std::size_t>(extra) + 1, '\0');
    for (int k = extra; k > 0; --k) {
        out[k] = static_cast<char>(0x80 | (c & 0x3F));
        c >>= 6;
    }
    static constexpr unsigned char kLeadMark[] = {0x00, 0xC0, 0xE0, 0xF0};
    out[0] = static_cast<char>(kLeadMark[extra] | c);
    return out;
}

class Tables {
public:
    Tables() : full_(4), prefix_(4) {
        full_[1].assign(1u << 8, false);
        full_[2].assign(1u << 16, false);
        full_[3].assign(1u << 24, false);
        prefix_[1].assign(1u << 8, false);
        prefix_[2].assign(1u << 16, false);
        prefix_[3].assign(1u << 24, false);
        for (char32_t c = 0; c <= 0x10FFFF; ++c) {
            if (c >= 0xD800 && c <= 0xDFFF) continue;
            const std::string bytes = encode(c);
            const std::size_t n = bytes.size();
            if (n == 4) {
                four_.push_back(pack(bytes, 4));
            } else {
                full_[n][pack(bytes, n)] = true;
            }
            for (std::size_t k = 1; k < n; ++k) prefix_[k][pack(bytes, k)] = true;
        }
        std::sort(four_.begin(), four_.end());
    }

    [[nodiscard]] bool is_encoding(std::string_view s) const {
        if (s.size() == 4) return std::binary_search(four_.begin(), four_.end(), pack(s, 4));
        return s.size() >= 1 && s.size() <= 3 && full_[s.size()][pack(s, s.size())];
    }

    [[nodiscard]] bool is_proper_prefix(std::string_view s) const {
        return s.size() >= 1 && s.size() <= 3 && prefix_[s.size()][pack(s, s.size())];
    }

private:
    static std::uint32_t pack(std::string_view s, std::size_t n) {
        std::uint32_t v = 0;
        for (std::size_t i = 0; i < n; ++i) v = (v << 8) | static_cast<unsigned char>(s[i]);
        return v;
    }

    std::vector<std::vector<bool>> full_;    // by length 1..3
    std::vector<std::vector<bool>> prefix_;  // by length 1..3
    std::vector<std::uint32_t> four_;
};

inline const Tables& tables() {
    static const Tables t;
    return t;
}

struct Step {
    enum Kind { kOk, kInvalid, kIncomplete } kind;
    std::size_t length;  // bytes taken: the encoding, or the ill-formed part
    char32_t value;
};

// The value of a sequence already known to be a well-formed encoding.
inline char32_t value_of(std::string_view s) {
    static constexpr unsigned char kLeadBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    char32_t c = static_cast<unsigned char>(s[0]) & kLeadBits[s.size()];
    for (std::size_t i = 1; i < s.size(); ++i)
        c = (c << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
    return c;
}

// The longest proper prefix of some encoding that starts at `at` decides:
// the byte after it breaks it (invalid) or the input ends inside it
// (incomplete). A byte that starts nothing is invalid on its own.
inline Step step(std::string_view s, std::size_t at) {
    const Tables& t = tables();
    for (std::size_t k = 1; k <= 4; ++k) {
        if (at + k > s.size()) return {Step::kIncomplete, s.size() - at, 0};
        const std::string_view part = s.substr(at, k);
        if (t.is_encoding(part)) return {Step::kOk, k, value_of(part)};
        if (!t.is_proper_prefix(part)) return {Step::kInvalid, k == 1 ? 1 : k - 1, 0};
    }
    return {Step::kInvalid, 3, 0};  // unreachable: no prefix is 4 bytes long
}

inline std::optional<std::string> error(std::string_view s) {
    for (std::size_t at = 0; at < s.size();) {
        const Step st = step(s, at);
        if (st.kind == Step::kIncomplete) {
            return "incomplete utf-8 byte sequence from index " + std::to_string(at);
        }
        if (st.kind == Step::kInvalid) {
            return "invalid utf-8 sequence of " + std::to_string(st.length) + " bytes from index " +
                   std::to_string(at);
        }
        at += st.length;
    }
    return std::nullopt;
}

// UTF-8 to UTF-16 units, one U+FFFD for each ill-formed part.
inline std::u16string to_utf16(std::string_view s) {
    std::u16string out;
    for (std::size_t at = 0; at < s.size();) {
        const Step st = step(s, at);
        const char32_t c = st.kind == Step::kOk ? st.value : 0xFFFD;
        if (c >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD7C0 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 | (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
        at += st.length;
    }
    return out;
}

// UTF-16 to UTF-8: first pair the surrogates, then encode. Nothing in strict
// mode when a surrogate has no partner.
inline std::optional<std::string> from_utf16(std::u16string_view units, bool strict) {
    std::string out;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char32_t u = units[i];
        const bool high = (u & 0xFC00) == 0xD800;
        const bool low = (u & 0xFC00) == 0xDC00;
        if (high && i + 1 < units.size() && (units[i + 1] & 0xFC00) == 0xDC00) {
            out += encode(0x10000 + (((u & 0x3FF) << 10) | (units[i + 1] & 0x3FF)));
            ++i;
        } else if (high || low) {
            if (strict) return std::nullopt;
            out += encode(0xFFFD);
        } else {
            out += encode(u);
        }
    }
    return out;
}

// Unicode's White_Space property.
inline bool is_white_space(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

}  // namespace utf8_model
