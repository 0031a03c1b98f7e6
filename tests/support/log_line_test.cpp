#include <gtest/gtest.h>

#include <cstdint>
#include <string_view>

#include "support/log_line.h"

namespace {

TEST(LogLine, FormatAndTenth) {
    EXPECT_EQ(log_line({2026, 12, 8, 19, 30, 1, 42}, 1234, 5678, "start"),
              "2026-12-08T19:30:01.042Z [1234:5678] start\r\n");
    EXPECT_EQ(log_line({999, 1, 2, 3, 4, 5, 6}, 0, 4294967295u, ""),
              "0999-01-02T03:04:05.006Z [0:4294967295] \r\n");
    // A system text with its own line breaks stays on one line.
    EXPECT_EQ(log_line({2027, 10, 31, 23, 59, 59, 999}, 7, 8, "a\r\nb\nc"),
              "2027-10-31T23:59:59.999Z [7:8] a  b c\r\n");

    const std::uint64_t tenths[][3] = {
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
    for (const auto& [received, total, tenth] : tenths) {
        EXPECT_EQ(tenth_of(received, total), tenth) << received << " of " << total;
    }
}

}  // namespace
