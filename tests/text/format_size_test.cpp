#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "text/format_size.h"

namespace {

TEST(FormatSize, ExactTexts) {
    struct Case {
        std::uint64_t bytes;
        const char* text;
    };
    const std::vector<Case> cases = {
        {0, "0.0 B"},
        {1, "1.0 B"},
        {1000, "1000.0 B"},
        {1023, "1023.0 B"},
        {1024, "1.0 KB"},
        {1100, "1.1 KB"},
        {1536, "1.5 KB"},
        {1280, "1.2 KB"},        // 1.25 exactly: the tie goes to the even tenth
        {1792, "1.8 KB"},        // 1.75 exactly
        {1048575, "1024.0 KB"},  // the unit is chosen before rounding
        {1048576, "1.0 MB"},
        {10485760, "10.0 MB"},
        {52428800, "50.0 MB"},
        {1073741824, "1.0 GB"},
        {1610612736, "1.5 GB"},
        {1099511627776, "1024.0 GB"},
        {18446744073709551615u, "17179869184.0 GB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(format_size(c.bytes), c.text);
    }
}

// The tenth is rounded from the exact binary value, never from a decimal
// approximation of it.
TEST(FormatSize, TiesAndNearTies) {
    struct Case {
        std::uint64_t bytes;
        const char* text;
    };
    const std::vector<Case> cases = {
        {1279, "1.2 KB"},       {1311, "1.3 KB"},  // 1.2490... and 1.2802...
        {1310720, "1.2 MB"},                       // 1.25 MB, a tie
        {1310721, "1.3 MB"},                       // one byte past it
        {1835008, "1.8 MB"},                       // 1.75 MB, a tie to the even 8
        {2883584, "2.8 MB"},                       // 2.75 MB
        {1101004, "1.0 MB"},                       // 1.05 MB is 1101004.8 bytes: this is just below
        {1101005, "1.1 MB"},                       // and this just above, so neither is a tie
        {1415577, "1.3 MB"},                       // 1.35 MB is 1415577.6 bytes
        {1415578, "1.4 MB"},    {1342177280, "1.2 GB"},                             // 1.25 GB
        {1342177279, "1.2 GB"}, {1342177281, "1.3 GB"},    {2952790016, "2.8 GB"},  // 2.75 GB
        {1127428915, "1.0 GB"},  // 1.05 GB is 1127428915.2 bytes
        {1127428916, "1.1 GB"}, {1073741823, "1024.0 MB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(format_size(c.bytes), c.text);
    }
}

// Counts above 2^53 first become the nearest double. 2^54 + 2^28 bytes is
// 16777216.25 GB, a tie; doubles there are 4 apart, so one and two bytes more
// still land on the tie (rounding down to the even tenth) and three bytes more
// land on the next double above it.
TEST(FormatSize, CountsAboveTwoToThe53RoundAsDoubles) {
    struct Case {
        std::uint64_t bytes;
        const char* text;
    };
    const std::vector<Case> cases = {
        {18014398777917440u, "16777216.2 GB"}, {18014398777917441u, "16777216.2 GB"},
        {18014398777917442u, "16777216.2 GB"}, {18014398777917443u, "16777216.3 GB"},
        {9007199254740993u, "8388608.0 GB"},  // 2^53 + 1
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(format_size(c.bytes), c.text);
    }
}

}  // namespace
