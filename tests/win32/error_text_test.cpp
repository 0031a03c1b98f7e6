#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "wide_text.h"
#include "win32/error_text.h"

namespace {

TEST(ErrorText, OsErrorMessage) {
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
