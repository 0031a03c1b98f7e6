#include "ui/layout.h"

#include "base/decimal.h"

namespace {

bool contains(const Rect& r, std::uint32_t x, std::uint32_t y) {
    return x >= static_cast<std::uint32_t>(r.left) && x <= static_cast<std::uint32_t>(r.right) &&
           y >= static_cast<std::uint32_t>(r.top) && y <= static_cast<std::uint32_t>(r.bottom);
}

}  // namespace

Hit hit_test(std::uint32_t x, std::uint32_t y) {
    // The controls do not overlap, so the table's order does not matter.
    for (const auto& control : layout::kControls) {
        if (contains(control.panel.rect, x, y)) return control.hit;
    }
    return Hit::kDrag;
}

Point centred_origin(std::int32_t screen_width, std::int32_t screen_height) {
    return {(screen_width - layout::kWidth) / 2, (screen_height - layout::kHeight) / 2};
}

float round_half_away(float value) {
    // From 2^23 up every float is whole (and NaN and infinities stay as they are).
    if (!(value > -8388608.0f && value < 8388608.0f)) return value;
    const float whole = static_cast<float>(static_cast<std::int32_t>(value));
    const float rest = value - whole;  // exact below 2^23
    if (rest >= 0.5f) return whole + 1.0f;
    if (rest <= -0.5f) return whole - 1.0f;
    return whole;
}

std::int32_t saturating_int(float value) {
    if (value != value) return 0;
    if (value >= 2147483648.0f) return 2147483647;
    if (value < -2147483648.0f) return -2147483647 - 1;
    return static_cast<std::int32_t>(value);
}

std::int32_t progress_fill_width(float progress) {
    return saturating_int(round_half_away(layout::kFillMaxWidth * progress));
}

std::string percentage_text(bool progress_shown, float progress) {
    if (!progress_shown) return "--";
    std::string text = decimal(saturating_int(round_half_away(progress * 100.0f)));
    text += '%';
    return text;
}
