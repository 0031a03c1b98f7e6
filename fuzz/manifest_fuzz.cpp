// The manifest reader and the UTF-8/UTF-16 conversions under it, each against
// the independent account in utf8_model.h.
//
// Input: the whole input is a manifest body. When it holds a line break, the
// text before the first one is also used as a key and the text after it as the
// document for json_string_field. The input read as little-endian UTF-16
// units exercises the conversions back to UTF-8.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "release/manifest.h"
#include "text/utf.h"
#include "utf8_model.h"

namespace {

std::u16string units_of(const WideText& text) {
    return std::u16string(text.begin(), text.end());
}

std::size_t find_text(std::string_view text, std::string_view needle, std::size_t from = 0) {
    for (std::size_t at = from; at + needle.size() <= text.size(); ++at) {
        if (text.compare(at, needle.size(), needle) == 0) return at;
    }
    return std::string_view::npos;
}

// json_string_field by the header's words: first quoted key, the next colon,
// white space taken as whole well-formed characters, a quoted value up to the
// next quote, "\/" read as "/". `end`, when given, is set just past the
// closing quote.
std::optional<std::string> model_field(std::string_view text, std::string_view key,
                                       std::size_t* end = nullptr) {
    const std::string needle = "\"" + std::string(key) + "\"";
    const std::size_t found = find_text(text, needle);
    if (found == std::string_view::npos) return std::nullopt;
    const std::size_t colon = find_text(text, ":", found + needle.size());
    if (colon == std::string_view::npos) return std::nullopt;
    std::size_t at = colon + 1;
    while (at < text.size()) {
        const utf8_model::Step st = utf8_model::step(text, at);
        if (st.kind != utf8_model::Step::kOk || !utf8_model::is_white_space(st.value)) break;
        at += st.length;
    }
    if (at >= text.size() || text[at] != '"') return std::nullopt;
    const std::size_t close = find_text(text, "\"", at + 1);
    if (close == std::string_view::npos) return std::nullopt;
    if (end) *end = close + 1;
    std::string value;
    for (std::size_t i = at + 1; i < close; ++i) {
        if (text[i] == '\\' && i + 1 < close && text[i + 1] == '/') {
            value += '/';
            ++i;
        } else {
            value += text[i];
        }
    }
    return value;
}

void expect_same_field(const std::optional<std::string>& got,
                       const std::optional<std::string>& want, const char* what) {
    FUZZ_EXPECT(got.has_value() == want.has_value());
    if (got) expect_same_text(*got, *want, what);
}

// No quote in a value unless a backslash escapes it.
bool has_bare_quote(std::string_view value) {
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '"' && (i == 0 || value[i - 1] != '\\')) return true;
    }
    return false;
}

void check_utf8(std::string_view bytes) {
    const std::optional<std::string> error = utf8_error(bytes);
    const std::optional<std::string> want = utf8_model::error(bytes);
    expect_same_field(error, want, "utf8_error");

    if (error) {
        // The reported index lies inside the bytes and everything before it is
        // well-formed.
        const std::size_t index = std::stoull(error->substr(error->rfind(' ') + 1));
        FUZZ_EXPECT(index < bytes.size());
        FUZZ_EXPECT(!utf8_error(bytes.substr(0, index)));
    }

    const WideText wide = to_wide(bytes);
    const std::u16string units = units_of(wide);
    FUZZ_EXPECT(units == utf8_model::to_utf16(bytes));
    FUZZ_EXPECT(wide.c_str()[wide.size()] == 0);
    if (!error) {
        const std::optional<std::string> back = from_wide_strict(wide);
        FUZZ_EXPECT(back.has_value());
        expect_same_text(*back, bytes, "from_wide_strict(to_wide(valid))");
    }
}

void check_utf16(std::u16string_view units) {
    const WideView view(units.data(), units.size());
    const std::optional<std::string> strict = from_wide_strict(view);
    const std::string lossy = from_wide_lossy(view);
    expect_same_field(strict, utf8_model::from_utf16(units, true), "from_wide_strict");
    expect_same_text(lossy, *utf8_model::from_utf16(units, false), "from_wide_lossy");
    FUZZ_EXPECT(!utf8_error(lossy));
    if (strict) {
        expect_same_text(*strict, lossy, "strict against lossy");
        FUZZ_EXPECT(units_of(to_wide(*strict)) == units);
    }
}

// The digest that 64 hexadecimal digits spell, in either case; nothing for any
// other text.
std::optional<Sha256> model_digest(std::string_view text) {
    if (text.size() != 64) return std::nullopt;
    Sha256 digest{};
    for (std::size_t i = 0; i < 64; ++i) {
        const char c = text[i];
        int nibble = -1;
        if (c >= '0' && c <= '9') nibble = c - '0';
        if (c >= 'a' && c <= 'f') nibble = c - 'a' + 10;
        if (c >= 'A' && c <= 'F') nibble = c - 'A' + 10;
        if (nibble < 0) return std::nullopt;
        digest[i / 2] = static_cast<std::uint8_t>(digest[i / 2] * 16 + nibble);
    }
    return digest;
}

void check_manifest(std::string_view body) {
    const Result<ReleaseInfo> read = read_release_manifest(body);
    if (const auto error = utf8_model::error(body)) {
        FUZZ_EXPECT(!read.ok());
        expect_same_text(read.error(), *error, "manifest utf-8 failure");
        return;
    }
    std::size_t platform = find_text(body, "\"windows-x86_64-nsis\"");
    if (platform == std::string_view::npos) platform = find_text(body, "\"windows-x86_64\"");
    std::size_t url_end = 0;
    const std::optional<std::string> url =
        platform == std::string_view::npos ? std::nullopt
                                           : model_field(body.substr(platform), "url", &url_end);
    if (!url) {
        FUZZ_EXPECT(!read.ok());
        expect_same_text(read.error(), "No Windows setup URL was found.", "manifest failure");
        return;
    }
    // "sha256" counts only in the span the url came from: from the platform's
    // key past the url's value, then up to the first "}" that no pair of
    // quotes encloses. There it must be a string of 64 hexadecimal digits.
    std::string_view entry = body.substr(platform);
    std::size_t quotes = 0;
    for (std::size_t i = url_end; i < entry.size(); ++i) {
        if (entry[i] == '"') ++quotes;
        if (entry[i] == '}' && quotes % 2 == 0) {
            entry = entry.substr(0, i);
            break;
        }
    }
    std::optional<Sha256> digest;
    if (find_text(entry, "\"sha256\"") != std::string_view::npos) {
        const std::optional<std::string> text = model_field(entry, "sha256");
        if (text) digest = model_digest(*text);
        if (!digest) {
            FUZZ_EXPECT(!read.ok());
            expect_same_text(read.error(), "Setup checksum is not 64 hexadecimal digits.",
                             "manifest checksum failure");
            return;
        }
    }
    FUZZ_EXPECT(read.ok());
    FUZZ_EXPECT(read.value().sha256 == digest);
    const std::optional<std::string> version = model_field(body, "version");
    expect_same_text(read.value().version, version ? *version : "latest", "version");
    expect_same_text(read.value().setup_url, *url, "setup_url");

    // What any successful read must satisfy, whatever the model says.
    FUZZ_EXPECT(!utf8_error(body));
    FUZZ_EXPECT(body.find("\"windows-x86_64") != std::string_view::npos);
    FUZZ_EXPECT(!has_bare_quote(read.value().setup_url));
    FUZZ_EXPECT(!has_bare_quote(read.value().version));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    (void)utf8_model::tables();  // built once, before the clock starts
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    check_utf8(input);
    check_manifest(input);

    if (const std::size_t line = input.find('\n'); line != std::string_view::npos) {
        const std::string_view key = input.substr(0, line);
        const std::string_view text = input.substr(line + 1);
        const std::optional<std::string> field = json_string_field(text, key);
        expect_same_field(field, model_field(text, key), "json_string_field");
        if (field) FUZZ_EXPECT(!has_bare_quote(*field));
    }

    std::u16string units;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        units.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    }
    check_utf16(units);
    return 0;
}
