#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "release/http_rules.h"

namespace {

TEST(HttpRules, ParseHttpUrl) {
    struct Case {
        std::string_view url;
        std::string host, path;
        std::uint16_t port;
        bool secure;
    };
    const std::vector<Case> cases = {
        {"https://h", "h", "/", 443, true},
        {"http://h/a/b?c=d#e", "h", "/a/b?c=d", 80, false},
        {"https://h:8443/x", "h", "/x", 8443, true},
        {"http://h:8080", "h", "/", 8080, false},
        {"https://h:/x", "h", "/x", 443, true},
        {"http://h:065535", "h", "/", 65535, false},
        {"https://h/", "h", "/", 443, true},
        {"https://h//x", "h", "//x", 443, true},
        {"https://h?q", "h", "/?q", 443, true},
        {"https://h#f", "h", "/", 443, true},
        {"https://h#f/x?y", "h", "/", 443, true},
        {"https://u:p@ss@h:81/x", "h", "/x", 81, true},
        {"https://h/a@b:9/c", "h", "/a@b:9/c", 443, true},
        {"https://u@h?a@b", "h", "/?a@b", 443, true},
        {"https://[::1]:8443/x", "[::1]", "/x", 8443, true},
        {"http://[::1]", "[::1]", "/", 80, false},
        {"http://u:p@[fe80::1%25eth0]:/", "[fe80::1%25eth0]", "/", 80, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        const Result<HttpUrl> parsed = parse_http_url(c.url);
        ASSERT_TRUE(parsed.ok()) << parsed.error();
        EXPECT_EQ(parsed.value().host, c.host);
        EXPECT_EQ(parsed.value().path, c.path);
        EXPECT_EQ(parsed.value().port, c.port);
        EXPECT_EQ(parsed.value().secure, c.secure);
    }
}

TEST(HttpRules, ParseHttpUrlFailures) {
    const std::string kScheme = "Only HTTP and HTTPS URLs are supported.";
    const std::string kHost = "Download URL is missing a host.";
    const std::string kPort = "Download URL has an invalid port.";
    struct Case {
        std::string_view url;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"HTTPS://h/x", kScheme},
        {"ftp://h/x", kScheme},
        {"h/x", kScheme},
        {"", kScheme},
        {"https:/h", kScheme},
        {"https://", kHost},
        {"https:///x", kHost},
        {"http://", kHost},
        {"https://u@/x", kHost},
        {"https://:80/x", kHost},
        {"https://[]:80", kHost},
        {"https://?q", kHost},
        {"https://h:0", kPort},
        {"https://h:65536/", kPort},
        {"https://h:8o", kPort},
        {"https://h:-1", kPort},
        {"https://h:+1", kPort},
        {"https://h:1:2", kPort},
        {"https://[::1/x", kPort},
        {"https://[::1]x", kPort},
        {"https://h: 1", kPort},
        {"https://:x", kPort},
        {"https://h:99999999999999999999", kPort},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        const Result<HttpUrl> parsed = parse_http_url(c.url);
        ASSERT_FALSE(parsed.ok());
        EXPECT_EQ(parsed.error(), c.error);
    }
}

TEST(HttpRules, RedirectTarget) {
    for (const std::uint32_t status : {301u, 302u, 303u, 307u, 308u})
        EXPECT_TRUE(is_redirect(status));
    for (const std::uint32_t status : {200u, 300u, 304u, 305u, 306u, 309u})
        EXPECT_FALSE(is_redirect(status));

    const std::string_view from = "https://u:p@h:8443/a/b/c?q=1#f";
    struct Case {
        std::string_view current, location;
        unsigned hops;
        std::optional<std::string> target;  // nothing: kRequestFailed
    };
    const std::optional<std::string> failed;
    const std::vector<Case> cases = {
        {from, "https://x/y?z", 0, "https://x/y?z"},
        {from, "http://x/y", 0, failed},
        {"http://h/a", "https://x/y", 0, "https://x/y"},
        {"http://h/a", "http://x/y", 9, "http://x/y"},
        {"http://h/a", "http://x/y", 10, failed},
        {from, "//x:81/y", 0, "https://x:81/y"},
        {"http://h/a", "//x", 0, "http://x"},
        {from, "///y", 0, failed},
        {from, "/p/./q/../r?s", 0, "https://u:p@h:8443/p/r?s"},
        {from, "d", 0, "https://u:p@h:8443/a/b/d"},
        {from, "../d#g", 0, "https://u:p@h:8443/a/d#g"},
        {from, "../../../../d", 0, "https://u:p@h:8443/d"},
        {from, "./", 0, "https://u:p@h:8443/a/b/"},
        {from, "..", 0, "https://u:p@h:8443/a/"},
        {from, "d/..", 0, "https://u:p@h:8443/a/b/"},
        {from, ".d/..e/.", 0, "https://u:p@h:8443/a/b/.d/..e/"},
        {from, "?r", 0, "https://u:p@h:8443/a/b/c?r"},
        {from, "#g", 0, "https://u:p@h:8443/a/b/c?q=1#g"},
        {"https://h?q", "d", 0, "https://h/d"},
        {"https://h", "?r", 0, "https://h/?r"},
        {"https://h/a", "d:e", 0, failed},
        {"https://h/a", "./d:e", 0, "https://h/d:e"},
        {from, "ftp://x/y", 0, failed},
        {from, "HTTPS://x/y", 0, failed},
        {from, "https://x:0/", 0, failed},
        {from, "", 0, failed},
        {from, "/a b", 0, failed},
        {from, "/a\r\nX: y", 0, failed},
        {"ftp://h/a", "/b", 0, failed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.current << " + " << c.location);
        const Result<std::string> target = redirect_target(c.current, c.location, c.hops);
        EXPECT_EQ(target.ok() ? std::optional<std::string>(target.value()) : std::nullopt,
                  c.target);
        if (!target.ok()) {
            EXPECT_EQ(target.error(), "Download request failed.");
        }
    }
}

TEST(HttpRules, ParseContentRange) {
    struct Case {
        std::string_view text;
        std::string range;  // "first-last/total" as numbers, "" for nothing
    };
    const std::vector<Case> cases = {
        {"bytes 100-299/300", "100-299/300"},
        {"bytes 0-0/1", "0-0/1"},
        {"bytes 007-8/09", "7-8/9"},
        {"bytes 0-18446744073709551614/18446744073709551615",
         "0-18446744073709551614/18446744073709551615"},
        {"bytes 0-1/18446744073709551616", ""},
        {"bytes 5-4/10", ""},
        {"bytes 0-10/10", ""},
        {"bytes 0-9/*", ""},
        {"bytes */10", ""},
        {"bytes +1-2/3", ""},
        {"bytes 1-+2/3", ""},
        {"bytes 1 -2/3", ""},
        {"bytes  1-2/3", ""},
        {"bytes 1-2/3 ", ""},
        {"bytes=1-2/3", ""},
        {"bytes 1-2-3/4", ""},
        {"bytes 1-2/3/4", ""},
        {"bytes 1/2-3", ""},
        {"bytes -2/3", ""},
        {"bytes 1-/3", ""},
        {"bytes 1-2/", ""},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto r = parse_content_range(c.text);
        EXPECT_EQ(r ? std::to_string(r->first) + "-" + std::to_string(r->last) + "/" +
                          std::to_string(r->total)
                    : "",
                  c.range);
    }
}

TEST(HttpRules, ParseContentLength) {
    struct Case {
        std::string_view text;
        std::optional<std::uint64_t> value;
    };
    const std::optional<std::uint64_t> none;
    const std::vector<Case> cases = {
        {"100", 100},
        {"+100", 100},
        {"00100", 100},
        {"0", 0},
        {" 100", none},
        {"100 ", none},
        {"-1", none},
        {"1e3", none},
        {"", none},
        {"+", none},
        {"++1", none},
        {"0x10", none},
        {"18446744073709551615", UINT64_MAX},
        {"018446744073709551615", UINT64_MAX},
        {"18446744073709551616", none},
        {"18446744073709551620", none},
        {"99999999999999999999", none},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(parse_content_length(c.text), c.value);
    }
}

TEST(HttpRules, ContentLengthFromHeader) {
    struct Case {
        const char* name;
        std::u16string units;
        std::uint32_t byte_length;
        std::optional<std::uint64_t> value;
    };
    const std::optional<std::uint64_t> none;
    const std::vector<Case> cases = {
        {"plain", u"1234", 8, 1234},
        {"odd byte length drops the half unit", u"1234", 7, 123},
        {"trailing NULs", std::u16string(u"42\0\0", 4), 8, 42},
        {"inner NUL",
         std::u16string(u"4\0"
                        u"2",
                        3),
         6, none},
        {"empty", u"", 0, none},
        // The buffer may be longer than the header; only its first 64 units count.
        {"first 64 units of an odd length", std::u16string(60, u'0') + u"12345678", 131, 1234},
        {"64 units, too big", std::u16string(70, u'1'), 140, none},
        {"unpaired surrogate", u"12\xD800", 6, none},
        {"paired surrogates", u"1\xD83D\xDE00", 6, none},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WideText units;
        for (const char16_t u : c.units) units.push_back(static_cast<WideChar>(u));
        EXPECT_EQ(content_length_from_header(units.data(), c.byte_length), c.value);
    }
}

TEST(HttpRules, HttpStatusFailure) {
    struct Case {
        std::uint32_t status;
        std::optional<std::string> failure;
    };
    const std::vector<Case> cases = {
        {200, std::nullopt},
        {204, std::nullopt},
        {299, std::nullopt},
        {199, "Server returned HTTP status 199."},
        {300, "Server returned HTTP status 300."},
        {301, "Server returned HTTP status 301."},
        {404, "Server returned HTTP status 404."},
        {500, "Server returned HTTP status 500."},
        {0, "Server returned HTTP status 0."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        const Status checked = check_http_status(c.status);
        EXPECT_EQ(checked.ok() ? std::nullopt : std::optional<std::string>(checked.error()),
                  c.failure);
    }
}

TEST(HttpRules, ProgressStep) {
    struct Case {
        std::uint64_t received, total;
        std::string detail;
        float fraction;
    };
    const std::vector<Case> cases = {
        {50, 100, "50.0 B / 100.0 B", 0.5f},
        {0, 100, "0.0 B / 100.0 B", 0.0f},
        {100, 100, "100.0 B / 100.0 B", 1.0f},
        {52428800, 52428800, "50.0 MB / 50.0 MB", 1.0f},
        {150, 100, "150.0 B / 100.0 B", 1.0f},
        {13107200, 52428800, "12.5 MB / 50.0 MB", 0.25f},
        // Both round to the same float, so the fraction is 1 without the cap.
        {16777217, 16777216, "16.0 MB / 16.0 MB", 1.0f},
        {16777215, 16777216, "16.0 MB / 16.0 MB", 0.99999994f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.received << "/" << c.total);
        const ProgressStep step = progress_step(c.received, c.total);
        EXPECT_EQ(step.detail, c.detail);
        EXPECT_EQ(step.fraction, c.fraction);
    }
}

TEST(HttpRules, ReportsProgressAndBodyWasCut) {
    EXPECT_TRUE(reports_progress(true, 100));
    EXPECT_FALSE(reports_progress(false, 100));
    EXPECT_FALSE(reports_progress(true, std::nullopt));
    EXPECT_FALSE(reports_progress(true, 0));

    struct Case {
        std::uint64_t received;
        std::optional<std::uint64_t> total;
        bool cut;
    };
    const std::vector<Case> cases = {
        {299, 300, true},         {300, 300, false}, {301, 300, false},
        {5, std::nullopt, false}, {0, 1, true},      {0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.received);
        EXPECT_EQ(body_was_cut(c.received, c.total), c.cut);
    }
}

}  // namespace
