// parse_http_url and url_for_log on any text against a model of the rule,
// written one character at a time; and, for a success, the URL put back
// together from its parts parses to the same parts.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "net/http_rules.h"

namespace {

struct Expected {
    std::string error;  // empty for a success
    std::string host, path;
    std::string logged;  // for an http or https URL, parsed or not
    unsigned port = 0;
    bool secure = false;
};

Expected model(std::string_view url) {
    Expected e;
    std::size_t at;
    // The scheme in any case.
    std::string lower(url.substr(0, 8));
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    if (lower == "https://") {
        e.secure = true;
        e.port = 443;
        at = 8;
    } else if (lower.compare(0, 7, "http://") == 0) {
        e.port = 80;
        at = 7;
    } else {
        e.error = "Only HTTP and HTTPS URLs are supported.";
        return e;
    }
    // The log drops the query and fragment, and the userinfo: up to the
    // authority's last '@' in a URL, up to the last '@' of all in a text that
    // is none.
    const std::string scheme(url.substr(0, at));
    std::string after_at(url.substr(at));
    after_at = after_at.substr(after_at.rfind('@') + 1);
    e.logged = scheme + after_at.substr(0, after_at.find_first_of("?#"));
    // The authority: everything before the first '/', '?' or '#'.
    std::string authority;
    for (; at < url.size() && url[at] != '/' && url[at] != '?' && url[at] != '#'; ++at) {
        authority += url[at];
        if (url[at] == '@') authority.clear();  // userinfo so far
    }
    // The host, then what follows it: nothing, or ':' and the port digits.
    std::size_t i = 0;
    if (!authority.empty() && authority[0] == '[') {
        while (i < authority.size() && authority[i] != ']') e.host += authority[i++];
        if (i == authority.size()) {
            e.error = kInvalidPort;
            return e;
        }
        e.host += authority[i++];
    } else {
        while (i < authority.size() && authority[i] != ':') e.host += authority[i++];
    }
    if (i < authority.size()) {
        if (authority[i] != ':') {
            e.error = kInvalidPort;
            return e;
        }
        const std::string digits = authority.substr(i + 1);
        unsigned long long port = 0;
        for (const char c : digits) {
            if (c < '0' || c > '9') {
                e.error = kInvalidPort;
                return e;
            }
            port = port * 10 + static_cast<unsigned>(c - '0');
            if (port > 65535) {
                e.error = kInvalidPort;
                return e;
            }
        }
        if (!digits.empty() && port == 0) {
            e.error = kInvalidPort;
            return e;
        }
        if (!digits.empty()) e.port = static_cast<unsigned>(port);
    }
    if (e.host.empty() || e.host == "[]") {
        e.error = "Download URL is missing a host.";
        return e;
    }
    e.logged = scheme + authority;
    for (std::size_t i = at; i < url.size() && url[i] != '?' && url[i] != '#'; ++i) {
        e.logged += url[i];
    }
    // The object name: the rest up to a '#', always beginning with '/'.
    if (at == url.size() || url[at] != '/') e.path = "/";
    for (; at < url.size() && url[at] != '#'; ++at) e.path += url[at];
    return e;
}

void expect_same(const Result<HttpUrl>& parsed, const Expected& want, const char* what) {
    if (!want.error.empty()) {
        FUZZ_EXPECT(!parsed.ok());
        expect_same_text(parsed.error(), want.error, what);
        return;
    }
    if (!parsed.ok()) expect_same_text(parsed.error(), "(a success)", what);
    const HttpUrl& u = parsed.value();
    expect_same_text(u.host, want.host, what);
    expect_same_text(u.path, want.path, what);
    FUZZ_EXPECT(u.port == want.port);
    FUZZ_EXPECT(u.secure == want.secure);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view url(reinterpret_cast<const char*>(data), size);
    const Result<HttpUrl> parsed = parse_http_url(url);
    const Expected want = model(url);
    expect_same(parsed, want, "url");
    if (!want.logged.empty()) expect_same_text(url_for_log(url), want.logged, "logged");
    if (!parsed.ok()) return 0;

    const HttpUrl& u = parsed.value();
    const std::string again = std::string(u.secure ? "https://" : "http://") + u.host + ":" +
                              std::to_string(u.port) + u.path;
    expect_same(parse_http_url(again), model(again), "reassembled");
    expect_same(parse_http_url(again), model(url), "reassembled parts");
    return 0;
}
