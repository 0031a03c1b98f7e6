// format_size against glibc's printf, which rounds the exact binary value of
// a double (ties to even) and always writes ".": the texts must be identical.
// Also the progress step built on it.
//
// Input: two little-endian 64-bit counts, received and total.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz_support.h"
#include "net/http_rules.h"
#include "text/format_size.h"

namespace {

std::string reference_size(std::uint64_t bytes) {
    static const char* const kUnits[] = {"B", "KB", "MB", "GB"};
    // Dividing by 1024 is exact in binary, so the value printed is exactly
    // the double nearest the count, scaled.
    double value = static_cast<double>(bytes);
    int unit = 0;
    while (unit < 3 && value >= 1024.0) {
        value /= 1024.0;
        ++unit;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ByteReader reader(data, size);
    const auto received = reader.raw<std::uint64_t>();
    const auto total = reader.raw<std::uint64_t>();

    expect_same_text(format_size(received), reference_size(received), "format_size(received)");
    expect_same_text(format_size(total), reference_size(total), "format_size(total)");

    if (total != 0) {
        const ProgressStep step = progress_step(received, total);
        expect_same_text(step.detail, reference_size(received) + " / " + reference_size(total),
                         "progress detail");
        FUZZ_EXPECT(step.fraction >= 0.0f && step.fraction <= 1.0f);
        const double exact =
            std::min(1.0, static_cast<double>(received) / static_cast<double>(total));
        // Three float roundings (two conversions and the division) at most.
        FUZZ_EXPECT(std::fabs(step.fraction - exact) <= 4 * 0x1p-24 * exact + 0x1p-149);
        if (received >= total) FUZZ_EXPECT(step.fraction == 1.0f);
    }
    return 0;
}
