#include "ui/layout.h"

#include <cstddef>
#include <iterator>

#include "base/decimal.h"

namespace {

bool contains(const Rect& r, std::uint32_t x, std::uint32_t y) {
    return x >= static_cast<std::uint32_t>(r.left) && x <= static_cast<std::uint32_t>(r.right) &&
           y >= static_cast<std::uint32_t>(r.top) && y <= static_cast<std::uint32_t>(r.bottom);
}

// The window's own colour (#RRGGBB) of each ink, and the system colour that
// stands for it in High Contrast. The decoration is not drawn there; its rows
// name the background's colour all the same.
struct InkColours {
    Ink ink;
    std::uint32_t SystemColours::*system;
    std::uint32_t own;
};

constexpr InkColours kInks[] = {
    {Ink::kBackground, &SystemColours::window, 0x050C14},
    {Ink::kCardFill, &SystemColours::window, 0x07111B},
    {Ink::kCardOutline, &SystemColours::window_text, 0x255071},
    {Ink::kEllipseFill, &SystemColours::window, 0x081D2B},
    // The pen a fresh paint context holds.
    {Ink::kEllipseOutline, &SystemColours::window, 0x000000},
    {Ink::kAccent, &SystemColours::window_text, 0x20D8FF},
    {Ink::kHeadline, &SystemColours::window_text, 0xF5FAFF},
    {Ink::kDetail, &SystemColours::window_text, 0xA2B1C6},
    {Ink::kTrackFill, &SystemColours::window, 0x0A1220},
    {Ink::kTrackOutline, &SystemColours::window_text, 0x27405A},
    {Ink::kProgress, &SystemColours::highlight, 0x24D8FF},
    {Ink::kMainFill, &SystemColours::button_face, 0x24D8FF},
    {Ink::kMainOutline, &SystemColours::button_text, 0xB7F7FF},
    {Ink::kMainCaption, &SystemColours::button_text, 0x06121D},
    {Ink::kMainCaptionDisabled, &SystemColours::gray_text, 0x06121D},
    // A focus ring of its own takes its caption's colour.
    {Ink::kMainFocus, &SystemColours::highlight, 0x06121D},
    {Ink::kCancelFill, &SystemColours::button_face, 0x253247},
    {Ink::kCancelOutline, &SystemColours::button_text, 0x45607E},
    {Ink::kCancelCaption, &SystemColours::button_text, 0xD2DCEB},
    {Ink::kCancelFocus, &SystemColours::highlight, 0xD2DCEB},
    {Ink::kBoxFill, &SystemColours::button_face, 0x0B1522},
    {Ink::kBoxOutline, &SystemColours::button_text, 0x26425E},
    {Ink::kGlyph, &SystemColours::button_text, 0xA2B1C6},
    {Ink::kBoxFocus, &SystemColours::highlight, 0xA2B1C6},
};

constexpr bool one_row_per_ink_in_order() {
    if (std::size(kInks) != static_cast<std::size_t>(Ink::kCount)) return false;
    for (std::size_t i = 0; i < std::size(kInks); ++i) {
        if (kInks[i].ink != static_cast<Ink>(i)) return false;
    }
    return true;
}
static_assert(one_row_per_ink_in_order());

}  // namespace

std::uint32_t window_colour(Ink ink, bool high_contrast, const SystemColours& system) {
    const InkColours& row = kInks[static_cast<std::size_t>(ink)];
    return high_contrast ? system.*row.system : colour_ref(row.own);
}

Ink caption_ink(const layout::Control& control, bool busy) {
    return control.hit == Hit::kMain && busy ? Ink::kMainCaptionDisabled : control.caption.colour;
}

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
