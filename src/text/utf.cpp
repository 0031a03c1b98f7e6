#include "text/utf.h"

#include <cstdint>

#include "base/decimal.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void append_utf16(WideText& out, char32_t c) {
    if (c < 0x10000) {
        out.push_back(static_cast<WideChar>(c));
    } else {
        c -= 0x10000;
        out.push_back(static_cast<WideChar>(0xD800 + (c >> 10)));
        out.push_back(static_cast<WideChar>(0xDC00 + (c & 0x3FF)));
    }
}

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// One step of UTF-8 decoding at `at`, by the table of well-formed sequences:
// the second byte's range depends on the lead (E0, ED, F0 and F4 narrow it to
// exclude overlong forms, surrogates and values above U+10FFFF).
struct Step {
    enum Kind { kOk, kInvalid, kIncomplete } kind;
    std::size_t length;  // bytes used (kOk) or well-formed prefix, at least 1 (kInvalid)
    char32_t value;
};

Step decode_step(std::string_view s, std::size_t at) {
    const auto lead = static_cast<std::uint8_t>(s[at]);
    if (lead < 0x80) {
        return {Step::kOk, 1, lead};
    }
    std::size_t need = 0;
    std::uint8_t low = 0x80, high = 0xBF;
    char32_t value = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 3;
        value = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 4;
        value = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return {Step::kInvalid, 1, 0};
    }
    for (std::size_t k = 1; k < need; ++k) {
        if (at + k >= s.size()) {
            return {Step::kIncomplete, k, 0};
        }
        const auto b = static_cast<std::uint8_t>(s[at + k]);
        if (b < low || b > high) {
            return {Step::kInvalid, k, 0};
        }
        low = 0x80;
        high = 0xBF;
        value = (value << 6) | (b & 0x3F);
    }
    return {Step::kOk, need, value};
}

template <bool kStrict>
std::optional<std::string> convert_from_wide(WideView text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t unit = static_cast<char16_t>(text[i]);
        char32_t c = unit;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() &&
            static_cast<char16_t>(text[i + 1]) >= 0xDC00 &&
            static_cast<char16_t>(text[i + 1]) <= 0xDFFF) {
            c = 0x10000 + ((unit - 0xD800) << 10) + (static_cast<char16_t>(text[i + 1]) - 0xDC00);
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            if (kStrict) return std::nullopt;
            c = kReplacement;
        }
        append_utf8(out, c);
    }
    return out;
}

}  // namespace

WideText to_wide(std::string_view text) {
    WideText out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const Step step = decode_step(text, at);
        append_utf16(out, step.kind == Step::kOk ? step.value : kReplacement);
        at += step.length;
    }
    return out;
}

std::string from_wide_lossy(WideView text) {
    return *convert_from_wide<false>(text);
}

std::optional<std::string> from_wide_strict(WideView text) {
    return convert_from_wide<true>(text);
}

std::optional<std::string> utf8_error(std::string_view bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
        const Step step = decode_step(bytes, at);
        if (step.kind == Step::kOk) {
            at += step.length;
            continue;
        }
        std::string error = "incomplete utf-8 byte sequence";
        if (step.kind == Step::kInvalid) {
            error = "invalid utf-8 sequence of ";
            error += decimal(step.length);
            error += " bytes";
        }
        error += " from index ";
        error += decimal(at);
        return error;
    }
    return std::nullopt;
}
