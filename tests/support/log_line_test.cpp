#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/log_line.h"

namespace {

TEST(LogLine, Format) {
    struct Case {
        LogTime time;
        std::uint32_t process, thread;
        std::string_view text;
        std::string line;
    };
    const std::vector<Case> cases = {
        {{2026, 12, 8, 19, 30, 1, 42},
         1234,
         5678,
         "start",
         "2026-12-08T19:30:01.042Z [1234:5678] start\r\n"},
        {{999, 1, 2, 3, 4, 5, 6},
         0,
         4294967295u,
         "",
         "0999-01-02T03:04:05.006Z [0:4294967295] \r\n"},
        // A system text with its own line breaks stays on one line.
        {{2027, 10, 31, 23, 59, 59, 999},
         7,
         8,
         "a\r\nb\nc",
         "2027-10-31T23:59:59.999Z [7:8] a  b c\r\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(log_line(c.time, c.process, c.thread, c.text), c.line);
    }
}

TEST(LogLine, UrlWithoutQuery) {
    const std::vector<std::pair<std::string_view, std::string_view>> cases = {
        {"https://h/a/setup.exe?token=secret", "https://h/a/setup.exe"},
        {"https://h/a#frag?x", "https://h/a"},
        {"https://h/a?", "https://h/a"},
        {"http://h/plain", "http://h/plain"},
        {"?only", ""},
    };
    for (const auto& [url, logged] : cases) EXPECT_EQ(url_for_log(url), logged) << url;
}

TEST(LogLine, TenthOfBody) {
    struct Case {
        std::uint64_t received, total;
        unsigned tenth;
    };
    const std::vector<Case> cases = {
        {0, 100, 0},
        {9, 100, 0},
        {10, 100, 1},
        {99, 100, 9},
        {100, 100, 10},
        {150, 100, 10},
        {5, 0, 10},
        {UINT64_MAX - 1, UINT64_MAX, 9},
        {UINT64_MAX / 10 * 3, UINT64_MAX, 2},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(tenth_of(c.received, c.total), c.tenth) << c.received << " of " << c.total;
    }
}

}  // namespace
