#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "release/release_rules.h"

namespace {

WideText wide(std::u16string_view units) {
    WideText out;
    for (const char16_t u : units) out.push_back(static_cast<WideChar>(u));
    return out;
}

// Wide results compared as UTF-8 print readably on failure.
std::string narrow(const WideText& text) {
    return from_wide_lossy(text);
}

TEST(ReleaseRules, VersionIsSafeInFileName) {
    struct Case {
        std::string_view version;
        bool safe;
    };
    const std::vector<Case> cases = {
        {"1.4.2", true},
        {"latest", true},
        {"", true},
        {"..", true},
        {"1 2", true},
        {"1.4.2-beta+7", true},
        {"..\\..\\evil", false},
        {"1/2", false},
        {"C:x", false},
        {"a\\b", false},
        {"/", false},
        {std::string_view("1.4\0.exe", 8), false},
        {std::string_view("\0", 1), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.version));
        EXPECT_EQ(version_is_safe_in_file_name(c.version), c.safe);
    }
}

TEST(ReleaseRules, SetupFileName) {
    EXPECT_EQ(setup_file_name("1.4.2"), "Vantrel-1.4.2.exe");
    EXPECT_EQ(setup_file_name("latest"), "Vantrel-latest.exe");
    EXPECT_EQ(setup_file_name(""), "Vantrel-.exe");
}

TEST(ReleaseRules, JoinPathAndCommandLine) {
    struct Case {
        std::u16string_view base, part;
        std::string joined;
    };
    const std::vector<Case> cases = {
        {u"C:\\Temp\\", u"V.exe", "C:\\Temp\\V.exe"},
        {u"C:\\Temp", u"V.exe", "C:\\Temp\\V.exe"},
        {u"C:\\Temp/", u"V.exe", "C:\\Temp/\\V.exe"},
        {u"", u"V.exe", "\\V.exe"},
        {u"C:\\\u00E9", u"\U0001F600", "C:\\\xC3\xA9\\\xF0\x9F\x98\x80"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.joined);
        EXPECT_EQ(narrow(join_path(wide(c.base), wide(c.part))), c.joined);
    }
    EXPECT_EQ(narrow(installer_command_line(wide(u"C:\\t\\V.exe"))), "\"C:\\t\\V.exe\" /S /R");
    EXPECT_EQ(narrow(installer_command_line(wide(u"C:\\a b\\V.exe"))), "\"C:\\a b\\V.exe\" /S /R");
}

TEST(ReleaseRules, InstallerExitText) {
    struct Case {
        std::uint32_t code;
        std::string text;
    };
    const std::vector<Case> cases = {
        {0, "Installer exited with code 0."},
        {1, "Installer exited with code 1."},
        {2147483647, "Installer exited with code 2147483647."},
        {2147483648u, "Installer exited with code -2147483648."},
        {3221225477u, "Installer exited with code -1073741819."},
        {4294967295u, "Installer exited with code -1."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(installer_exit_text(c.code), c.text);
    }
}

TEST(ReleaseRules, OsErrorMessage) {
    struct Case {
        const char* name;
        std::uint32_t code;
        SystemText lookup;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"usual", 5, {wide(u"Access is denied.\r\n"), 0}, "Access is denied. (os error 5)"},
        {"trailing blanks and tabs",
         2,
         {wide(u"Not found. \t \r\n\t "), 0},
         "Not found. (os error 2)"},
        {"inner ones kept",
         87,
         {wide(u"The  parameter\tis\r\nincorrect.\r\n"), 0},
         "The  parameter\tis\r\nincorrect. (os error 87)"},
        {"leading blank kept", 1, {wide(u" x"), 0}, " x (os error 1)"},
        {"non-ASCII",
         3,
         {wide(u"Zugriff verweigert \u2013 \u00FC.\r\n"), 0},
         "Zugriff verweigert \xE2\x80\x93 \xC3\xBC. (os error 3)"},
        {"empty text", 7, {wide(u""), 0}, " (os error 7)"},
        {"lookup failed",
         12345,
         {std::nullopt, 317},
         "OS Error 12345 (FormatMessageW() returned error 317)"},
        {"unpaired surrogate",
         5,
         {wide(u"Access \xD800 denied.\r\n"), 0},
         "OS Error 5 (FormatMessageW() returned invalid UTF-16)"},
        {"surrogate pair is fine",
         5,
         {wide(u"\xD83D\xDE00\r\n"), 0},
         "\xF0\x9F\x98\x80 (os error 5)"},
        {"largest code",
         4294967295u,
         {std::nullopt, 0},
         "OS Error 4294967295 (FormatMessageW() returned error 0)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(os_error_message(c.code, c.lookup), c.message);
    }
}

}  // namespace
