#include "release/manifest.h"

#include "text/utf.h"

namespace {

constexpr const char* kNoSetupUrl = "No Windows setup URL was found.";

// Length of the Unicode White_Space character that starts `s`, or 0.
std::size_t white_space_length(std::string_view s) {
    const auto byte = [&](std::size_t i) {
        return i < s.size() ? static_cast<unsigned char>(s[i]) : 0u;
    };
    const unsigned b0 = byte(0), b1 = byte(1), b2 = byte(2);
    if ((b0 >= 0x09 && b0 <= 0x0D) || b0 == 0x20) return 1;
    if (b0 == 0xC2 && (b1 == 0x85 || b1 == 0xA0)) return 2;  // U+0085, U+00A0
    if (b0 == 0xE1 && b1 == 0x9A && b2 == 0x80) return 3;    // U+1680
    if (b0 == 0xE2 && b1 == 0x80 &&
        ((b2 >= 0x80 && b2 <= 0x8A) ||               // U+2000..U+200A
         b2 == 0xA8 || b2 == 0xA9 || b2 == 0xAF)) {  // U+2028/9/202F
        return 3;
    }
    if (b0 == 0xE2 && b1 == 0x81 && b2 == 0x9F) return 3;  // U+205F
    if (b0 == 0xE3 && b1 == 0x80 && b2 == 0x80) return 3;  // U+3000
    return 0;
}

// A string field's value and where it ends: just after its closing quote.
struct Field {
    std::string value;
    std::size_t end = 0;
};

std::optional<Field> find_string_field(std::string_view text, std::string_view key) {
    std::string needle = "\"";
    needle += key;
    needle += '"';
    const auto found = text.find(needle);
    if (found == std::string_view::npos) return std::nullopt;
    const auto colon = text.find(':', found + needle.size());
    if (colon == std::string_view::npos) return std::nullopt;
    std::string_view rest = text.substr(colon + 1);
    while (const std::size_t n = white_space_length(rest)) rest.remove_prefix(n);
    if (!rest.starts_with('"')) return std::nullopt;
    rest.remove_prefix(1);
    const auto close = rest.find('"');
    if (close == std::string_view::npos) return std::nullopt;
    const std::string_view raw = rest.substr(0, close);
    Field field;
    field.end = text.size() - rest.size() + close + 1;
    field.value.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\\' && i + 1 < raw.size() && raw[i + 1] == '/') {
            field.value.push_back('/');
            ++i;
        } else {
            field.value.push_back(raw[i]);
        }
    }
    return field;
}

}  // namespace

std::optional<std::string> json_string_field(std::string_view text, std::string_view key) {
    auto field = find_string_field(text, key);
    if (!field) return std::nullopt;
    return std::move(field->value);
}

Result<ReleaseInfo> read_release_manifest(std::string_view body) {
    if (auto error = utf8_error(body)) return Failure{std::move(*error)};
    auto version = json_string_field(body, "version");
    // The preferred key, once found, is final: the plain key is not tried.
    auto platform = body.find("\"windows-x86_64-nsis\"");
    if (platform == std::string_view::npos) platform = body.find("\"windows-x86_64\"");
    if (platform == std::string_view::npos) return Failure{kNoSetupUrl};
    std::string_view entry = body.substr(platform);
    auto url = find_string_field(entry, "url");
    if (!url) return Failure{kNoSetupUrl};
    // The digest is looked for in the span the url came from: from the
    // platform's key past the url's value to the first "}" outside a string.
    // A "}" in the URL does not hide it, and a digest after the entry's end
    // is never taken for this url.
    std::size_t end = url->end;
    for (bool in_string = false; end < entry.size() && (in_string || entry[end] != '}'); ++end) {
        if (entry[end] == '"') in_string = !in_string;
    }
    entry = entry.substr(0, end);
    std::optional<Sha256> sha256;
    if (entry.find("\"sha256\"") != std::string_view::npos) {
        const auto text = json_string_field(entry, "sha256");
        if (text) sha256 = parse_sha256(*text);
        if (!sha256) return Failure{kBadChecksumText};
    }
    return ReleaseInfo{version ? std::move(*version) : "latest", std::move(url->value), sha256};
}
