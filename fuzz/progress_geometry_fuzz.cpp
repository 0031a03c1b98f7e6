// The progress bar's numbers for every float bit pattern: no undefined
// behaviour (the float-to-int conversions run under UBSan), and the same
// result as rounding half away from zero by the C library and saturating.
//
// Input: four raw bytes of a float.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "ui/layout.h"

namespace {

std::int64_t reference_int(float value) {
    if (std::isnan(value)) return 0;
    const float r = std::round(value);  // half away from zero, exact
    if (r >= 2147483648.0f) return INT32_MAX;
    if (r < -2147483648.0f) return INT32_MIN;
    return static_cast<std::int64_t>(r);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ByteReader in(data, size);
    const auto x = in.raw<float>();

    const float rounded = round_half_away(x);
    if (std::isnan(x)) {
        FUZZ_EXPECT(std::isnan(rounded));
    } else {
        FUZZ_EXPECT(rounded == std::round(x));
    }
    FUZZ_EXPECT(saturating_int(x) == (std::isnan(x)        ? 0
                                      : x >= 2147483648.0f ? INT32_MAX
                                      : x < -2147483648.0f ? INT32_MIN
                                                           : static_cast<std::int32_t>(x)));

    const std::int32_t width = progress_fill_width(x);
    FUZZ_EXPECT(width == reference_int(layout::kFillMaxWidth * x));

    expect_same_text(percentage_text(false, x), "--", "hidden percentage");
    const std::string shown = percentage_text(true, x);
    expect_same_text(shown, std::to_string(reference_int(x * 100.0f)) + "%", "percentage");

    if (x >= 0.0f && x <= 1.0f) {
        FUZZ_EXPECT(width >= 0 && width <= 418);
        const std::int64_t percent = reference_int(x * 100.0f);
        FUZZ_EXPECT(percent >= 0 && percent <= 100);
    }
    return 0;
}
