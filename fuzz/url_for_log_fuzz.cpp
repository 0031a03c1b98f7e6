// What the log may show of a URL or a proxy: of "scheme://userinfo@host:port
// /path?query#fragment" only "scheme://host:port/path", and of a proxy
// "userinfo@host:port" only "host:port". No byte of the userinfo, query or
// fragment survives, whatever they hold; the rest is kept whole.
//
// Input: a form byte (a URL, or a bare proxy entry), then the parts as texts
// (a length byte and that many bytes), each mapped onto the characters its
// part may hold. Secrets are written in capitals, which no other part holds,
// so that a surviving byte of one is seen even where it looks like the rest.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "net/http_rules.h"

namespace {

// Each byte of `raw` as one of `alphabet`'s characters.
std::string spelled(std::string_view raw, std::string_view alphabet) {
    std::string out;
    for (const char c : raw) out += alphabet[static_cast<unsigned char>(c) % alphabet.size()];
    return out;
}

// Userinfo may hold ":" and "@" (the authority ends at its last "@"), percent
// escapes and sub-delimiters, ";" and blanks among them; never "/", "?" or
// "#". A proxy entry's holds no ";" or blank (a proxy text is a list of
// entries split there) and no "=" (which ends a list entry's "scheme=").
constexpr std::string_view kUserinfo = "ABCDEFGHIJKLMNOPQRSTUVWXYZ:@%!$&'()*+,;= \t~._-";
constexpr std::string_view kProxyUserinfo = "ABCDEFGHIJKLMNOPQRSTUVWXYZ:@%!$&'()*+,~._-";
// A query or fragment may hold anything at all after its "?" or "#".
constexpr std::string_view kQuery = "ABCDEFGHIJKLMNOPQRSTUVWXYZ?#/@:;= \t%&[]";
constexpr std::string_view kHost = "abcdefghijklmnopqrstuvwxyz0123456789.-";
constexpr std::string_view kPath = "abcdefghijklmnopqrstuvwxyz0123456789/@:.-_~%=";

bool has_capital(std::string_view text) {
    for (const char c : text) {
        if (c >= 'A' && c <= 'Z') return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ByteReader in(data, size);
    const std::uint8_t form = in.byte();
    const bool url = (form & 1) == 0;
    std::string host = spelled(in.text(), kHost);
    if (host.empty()) host = "h";
    if (form & 2) host = "[" + spelled(in.text(), "0123456789abcdef:") + "::1]";
    const std::uint16_t port_bits = in.raw<std::uint16_t>();
    const std::string port = port_bits == 0 ? "" : ":" + std::to_string(port_bits);
    const std::string userinfo = spelled(in.text(), url ? kUserinfo : kProxyUserinfo);
    const bool has_userinfo = (form & 4) != 0;

    std::string text, want;
    if (url) {
        const std::string scheme = (form & 8) ? "https://" : "http://";
        std::string path = spelled(in.text(), kPath);
        if (!path.empty()) path.insert(0, "/");
        std::string rest;
        if (form & 16) rest += "?" + spelled(in.text(), kQuery);
        if (form & 32) rest += "#" + spelled(in.text(), kQuery);
        text = scheme + (has_userinfo ? userinfo + "@" : "") + host + port + path + rest;
        want = scheme + host + port + path;
    } else {
        if (port.empty()) return 0;  // a proxy entry always names its port
        text = (has_userinfo ? userinfo + "@" : "") + host + port;
        want = host + port;
    }

    const std::string logged = url ? url_for_log(text) : proxy_list_for_log(text);
    FUZZ_EXPECT(!has_capital(logged));
    expect_same_text(logged, want, "logged");
    return 0;
}
