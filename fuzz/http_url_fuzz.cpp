// parse_http_url on any text: what a success must satisfy, and the exact
// failure text otherwise.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "release/http_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view url(reinterpret_cast<const char*>(data), size);
    const Result<HttpUrl> parsed = parse_http_url(url);

    // The scheme by exact prefix; the host is what lies between it and the
    // first slash after it.
    std::string_view scheme;
    if (url.substr(0, 8) == "https://") {
        scheme = "https://";
    } else if (url.substr(0, 7) == "http://") {
        scheme = "http://";
    }
    if (scheme.empty()) {
        FUZZ_EXPECT(!parsed.ok());
        expect_same_text(parsed.error(), "Only HTTP and HTTPS URLs are supported.", "scheme");
        return 0;
    }
    const std::string_view rest = url.substr(scheme.size());
    if (rest.empty() || rest[0] == '/') {
        FUZZ_EXPECT(!parsed.ok());
        expect_same_text(parsed.error(), "Download URL is missing a host.", "host");
        return 0;
    }
    FUZZ_EXPECT(parsed.ok());
    const HttpUrl& u = parsed.value();
    FUZZ_EXPECT(!u.host.empty());
    FUZZ_EXPECT(u.host.find('/') == std::string::npos);
    FUZZ_EXPECT(!u.path.empty() && u.path[0] == '/');
    FUZZ_EXPECT(u.secure == (scheme == "https://"));
    FUZZ_EXPECT((u.port == 443) == u.secure);
    FUZZ_EXPECT(u.port == (u.secure ? 443 : 80));

    const std::string whole = std::string(scheme) + u.host + u.path;
    const bool had_path = rest.find('/') != std::string_view::npos;
    expect_same_text(whole, had_path ? std::string(url) : std::string(url) + "/", "reassembled");
    return 0;
}
