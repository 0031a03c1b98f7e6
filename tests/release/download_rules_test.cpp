#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "release/download_rules.h"
#include "wide_text.h"

namespace {

TEST(DownloadRules, VersionIsSafeInFileName) {
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
        {"1<2", false},
        {"1>2", false},
        {"1\"2", false},
        {"1|2", false},
        {"1?", false},
        {"1.*", false},
        {"1\x01", false},
        {"1\t2", false},
        {"\x1f", false},
        {"1\x7f", true},
        {"1.4 \xC3\xA9\xE2\x80\x93\xF0\x9F\x98\x80", true},
        {"(1.4) [beta] {x} #2 %3 &4 ;5 =6 @7 ~8 ^9 '0 `!,", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.version));
        EXPECT_EQ(version_is_safe_in_file_name(c.version), c.safe);
    }
}

TEST(DownloadRules, SetupFileName) {
    EXPECT_EQ(setup_file_name("1.4.2"), "Vantrel-1.4.2.exe");
    EXPECT_EQ(setup_file_name("latest"), "Vantrel-latest.exe");
    EXPECT_EQ(setup_file_name(""), "Vantrel-.exe");
}

TEST(DownloadRules, OnlyOtherVersionsFilesAreCleared) {
    const struct {
        const char* name;
        bool other;
    } cases[] = {
        {"Vantrel-1.0.exe.partial", true},  {"Vantrel-1.0.exe.resume", true},
        {"Vantrel-2.0.exe.partial", false}, {"Vantrel-2.0.exe.resume", false},
        {"Vantrel-1.0.exe", true},          {"Vantrel-2.0.exe", false},
        {"Vantrel-2.0.exe.old", false},     {"bootstrapper.log", false},
        {"bootstrapper.old.log", false},    {"Other-1.0.exe", false},
        {"Other-1.0.exe.partial", false},   {"Vantrel-1.0.partial", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(is_other_version_file(c.name, "Vantrel-2.0.exe"), c.other) << c.name;
}

TEST(DownloadRules, JoinPath) {
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
}

}  // namespace
