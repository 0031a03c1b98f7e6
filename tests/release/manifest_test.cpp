#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "release/manifest.h"

namespace {

const std::string kNoUrl = "No Windows setup URL was found.";

TEST(Manifest, JsonStringField) {
    struct Case {
        const char* name;
        std::string_view text;
        std::string_view key;
        std::optional<std::string> value;
    };
    const std::optional<std::string> none;
    const std::vector<Case> cases = {
        {"plain", R"({"version":"1.4.2"})", "version", "1.4.2"},
        {"empty value", R"({"version":""})", "version", ""},
        {"escaped slashes", R"({"url":"https:\/\/h\/setup.exe"})", "url", "https://h/setup.exe"},
        // Backslash-slash pairs are taken left to right and never overlap.
        {"backslash before pair", R"({"k":"a\\/b"})", "k", R"(a\/b)"},
        {"three backslashes", R"({"k":"\\\/"})", "k", R"(\\/)"},
        {"escaped quote ends the value", R"({"k":"a\"b"})", "k", R"(a\)"},
        {"other escapes kept", R"({"k":"\u0041\n"})", "k", R"(\u0041\n)"},
        {"key as a value first", R"({"name":"version","other":"x","version":"2"})", "version", "x"},
        {"colon far away", "{\"k\"  ,  \"j\" : \"v\"}", "k", "v"},
        {"no such key", R"({"versions":"1"})", "version", none},
        {"key inside a longer key", R"({"myversion":"1"})", "version", none},
        {"number", R"({"version":1.4})", "version", none},
        {"null", R"({"version":null})", "version", none},
        {"object", R"({"version":{"v":"1"}})", "version", none},
        {"no colon after key", R"({"version"})", "version", none},
        {"unterminated", R"({"version":"1.4)", "version", none},
        {"empty text", "", "version", none},
        {"longer key not found by shorter", R"({"windows-x86_64-nsis":"a","windows-x86_64":"b"})",
         "windows-x86_64", "b"},
        {"shorter key not found by longer", R"({"windows-x86_64":"b"})", "windows-x86_64-nsis",
         none},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(json_string_field(c.text, c.key), c.value);
    }
}

// Unicode White_Space between the colon and the value is skipped.
TEST(Manifest, WhiteSpaceBeforeValue) {
    struct Case {
        const char* name;
        std::string_view space;
        bool skipped;
    };
    const std::vector<Case> cases = {
        {"blank", " ", true},
        {"line feed and tab", "\n\t\r ", true},
        {"U+0085", "\xC2\x85", true},
        {"U+00A0", "\xC2\xA0", true},
        {"U+1680", "\xE1\x9A\x80", true},
        {"U+2000", "\xE2\x80\x80", true},
        {"U+200A", "\xE2\x80\x8A", true},
        {"U+2028", "\xE2\x80\xA8", true},
        {"U+2029", "\xE2\x80\xA9", true},
        {"U+202F", "\xE2\x80\xAF", true},
        {"U+205F", "\xE2\x81\x9F", true},
        {"U+3000", "\xE3\x80\x80", true},
        {"several", " \xE3\x80\x80\n\xC2\xA0", true},
        {"U+200B zero width", "\xE2\x80\x8B", false},
        {"U+FEFF", "\xEF\xBB\xBF", false},
        {"U+00A0 after U+200B", "\xE2\x80\x8B\xC2\xA0", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string text = "{\"version\":" + std::string(c.space) + "\"1.4.2\"}";
        EXPECT_EQ(json_string_field(text, "version"),
                  c.skipped ? std::optional<std::string>("1.4.2") : std::nullopt);
    }
}

TEST(Manifest, ReadReleaseManifest) {
    struct Case {
        const char* name;
        std::string_view body;
        std::string version;
        std::string url;  // empty: the body names no setup
    };
    const std::vector<Case> cases = {
        {"usual",
         R"({"version":"1.4.2","platforms":{"windows-x86_64-nsis":{"url":"https://h/setup.exe"}}})",
         "1.4.2", "https://h/setup.exe"},
        {"escaped slashes",
         R"({"version":"1.4.2","platforms":{"windows-x86_64-nsis":{"url":"https:\/\/h\/setup.exe"}}})",
         "1.4.2", "https://h/setup.exe"},
        {"byte order mark",
         "\xEF\xBB\xBF{\"version\":\"1.4.2\",\"windows-x86_64-nsis\":{\"url\":\"https://h/"
         "s.exe\"}}",
         "1.4.2", "https://h/s.exe"},
        {"no version", R"({"windows-x86_64-nsis":{"url":"https://h/s.exe"}})", "latest",
         "https://h/s.exe"},
        {"number version", R"({"version":2,"windows-x86_64-nsis":{"url":"u"}})", "latest", "u"},
        {"null version", R"({"version":null,"windows-x86_64-nsis":{"url":"u"}})", "latest", "u"},
        {"object version", R"({"version":{"v":"1"},"windows-x86_64-nsis":{"url":"u"}})", "latest",
         "u"},
        {"empty version", R"({"version":"","windows-x86_64-nsis":{"url":"u"}})", "", "u"},
        {"plain key only", R"({"version":"1","windows-x86_64":{"url":"https://h/p.exe"}})", "1",
         "https://h/p.exe"},
        {"preferred key wins",
         R"({"windows-x86_64":{"url":"https://h/p.exe"},"windows-x86_64-nsis":{"url":"https://h/n.exe"}})",
         "latest", "https://h/n.exe"},
        // Once the preferred key is found the plain one is not tried.
        {"preferred key last without url",
         R"({"windows-x86_64":{"url":"https://h/p.exe"},"windows-x86_64-nsis":{"signature":"s"}})",
         "latest", ""},
        // Nesting is not followed: any later "url" counts.
        {"url of a later member",
         R"({"windows-x86_64-nsis":{"signature":"s"},"linux":{"url":"https://h/l"}})", "latest",
         "https://h/l"},
        {"keys match only whole",
         R"({"windows-x86_64-nsis-old":{"url":"https://h/o.exe"},"windows-x86_64":{"url":"https://h/p.exe"}})",
         "latest", "https://h/p.exe"},
        {"url before the key", R"({"url":"https://h/a.exe","windows-x86_64":{}})", "latest", ""},
        {"url not a string", R"({"windows-x86_64-nsis":{"url":null}})", "latest", ""},
        {"no platform", R"({"version":"1","url":"https://h/a.exe"})", "", ""},
        {"empty body", "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Result<ReleaseInfo> release = read_release_manifest(c.body);
        if (c.url.empty()) {
            ASSERT_FALSE(release.ok());
            EXPECT_EQ(release.error(), kNoUrl);
        } else {
            ASSERT_TRUE(release.ok()) << release.error();
            EXPECT_EQ(release.value().version, c.version);
            EXPECT_EQ(release.value().setup_url, c.url);
        }
    }
}

// The optional "sha256" where the url is: from the platform's key past the
// url's value to the first "}" outside a string.
TEST(Manifest, Sha256Field) {
    const std::string digits = "00112233445566778899aabbccddeeffFFEEDDCCBBAA99887766554433221100";
    const Sha256 digest = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xaa,
                           0xbb, 0xcc, 0xdd, 0xee, 0xff, 0xff, 0xee, 0xdd, 0xcc, 0xbb, 0xaa,
                           0x99, 0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11, 0x00};
    struct Case {
        const char* name;
        std::string body;
        std::optional<Sha256> sha256;
        bool refused;
    };
    const std::string head = R"({"windows-x86_64-nsis":{"url":"u")";
    const std::string field = R"(,"sha256":")";
    const std::string end = R"("}})";
    const std::vector<Case> cases = {
        {"none", head + "}}", std::nullopt, false},
        {"both cases", head + field + digits + end, digest, false},
        {"before the url", R"({"windows-x86_64":{"sha256":")" + digits + R"(","url":"u"}})", digest,
         false},
        {"before the platform key is not its own", R"({"sha256":"x","windows-x86_64":{"url":"u"}})",
         std::nullopt, false},
        {"first one wins", head + field + digits + R"("},"linux":{"sha256":"x"}})", digest, false},
        {"another platform's is not its own", head + R"(},"linux":{"sha256":")" + digits + end,
         std::nullopt, false},
        {"nor another platform's empty one", head + R"(},"linux":{"sha256":""}})", std::nullopt,
         false},
        {"a } in the url does not hide it",
         R"({"windows-x86_64-nsis":{"url":"https://h/a}b")" + field + digits + end, digest, false},
        {"nor a } in a value before it", head + R"(,"note":"}")" + field + digits + end, digest,
         false},
        {"a bad one after a } in the url is refused",
         R"({"windows-x86_64":{"url":"u}")" + field + "x" + end, std::nullopt, true},
        {"the url of the next entry comes with its digest",
         R"({"windows-x86_64":{"signature":"s"},"linux":{"url":"u")" + field + digits + end, digest,
         false},
        {"63 digits", head + field + digits.substr(1) + end, std::nullopt, true},
        {"65 digits", head + field + "0" + digits + end, std::nullopt, true},
        {"not hex", head + field + "g" + digits.substr(1) + end, std::nullopt, true},
        {"blank inside", head + field + " " + digits.substr(1) + end, std::nullopt, true},
        {"empty", head + field + end, std::nullopt, true},
        {"null", head + R"(,"sha256":null}})", std::nullopt, true},
        {"number", head + R"(,"sha256":12}})", std::nullopt, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Result<ReleaseInfo> release = read_release_manifest(c.body);
        if (c.refused) {
            ASSERT_FALSE(release.ok());
            EXPECT_EQ(release.error(), "Setup checksum is not 64 hexadecimal digits.");
        } else {
            ASSERT_TRUE(release.ok()) << release.error();
            EXPECT_EQ(release.value().sha256, c.sha256);
        }
    }
}

TEST(Manifest, Sha256Comparison) {
    Sha256 a{};
    a[0] = 1;
    Sha256 last = a;
    last[31] = 1;
    Sha256 first = a;
    first[0] = 2;
    struct Case {
        Sha256 expected, actual;
        bool same;
    };
    const std::vector<Case> cases = {{a, a, true}, {a, last, false}, {a, first, false}};
    for (const Case& c : cases) {
        const Status checked = check_sha256(c.expected, c.actual);
        EXPECT_EQ(checked.ok(), c.same);
        if (!c.same) {
            EXPECT_EQ(checked.error(), "Downloaded setup does not match its checksum.");
        }
    }
}

TEST(Manifest, IllFormedUtf8IsRefusedFirst) {
    const std::string manifest = R"({"version":"1","windows-x86_64":{"url":"https://h/a.exe"}})";
    struct Case {
        const char* name;
        std::string body;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"lone FF", "\xFF", "invalid utf-8 sequence of 1 bytes from index 0"},
        {"cut at the end", "0123456789\xE2\x82", "incomplete utf-8 byte sequence from index 10"},
        {"cut four-byte", "\xF0\x9F\x98", "incomplete utf-8 byte sequence from index 0"},
        {"overlong C0", "ab\xC0\x80", "invalid utf-8 sequence of 1 bytes from index 2"},
        {"overlong E0", "\xE0\x80\x80", "invalid utf-8 sequence of 1 bytes from index 0"},
        {"surrogate", "x\xED\xA0\x80", "invalid utf-8 sequence of 1 bytes from index 1"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", "invalid utf-8 sequence of 1 bytes from index 0"},
        {"F5 lead", "\xF5", "invalid utf-8 sequence of 1 bytes from index 0"},
        {"two-byte prefix", "x\xE2\x82\x41", "invalid utf-8 sequence of 2 bytes from index 1"},
        {"three-byte prefix", "\xF0\x9F\x98\x41", "invalid utf-8 sequence of 3 bytes from index 0"},
        {"lone continuation", "\x80", "invalid utf-8 sequence of 1 bytes from index 0"},
        {"after valid multibyte", "\xC3\xA9\xF0\x9F\x98\x80\xFF",
         "invalid utf-8 sequence of 1 bytes from index 6"},
        {"after a whole manifest", manifest + "\xFF",
         "invalid utf-8 sequence of 1 bytes from index 58"},
        {"inside a value",
         R"({"version":")"
         "\xC3"
         R"(","windows-x86_64":{"url":"u"}})",
         "invalid utf-8 sequence of 1 bytes from index 12"},
    };
    ASSERT_EQ(manifest.size(), 58u);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Result<ReleaseInfo> release = read_release_manifest(c.body);
        ASSERT_FALSE(release.ok());
        EXPECT_EQ(release.error(), c.error);
    }
}

}  // namespace
