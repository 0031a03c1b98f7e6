// The window's fixed geometry and palette, shared by painting and hit-testing
// so that a button is clickable exactly where it is drawn.
#pragma once

#include <cstdint>
#include <string>

#include "app_info.h"

struct Rect {
    std::int32_t left, top, right, bottom;
    friend bool operator==(const Rect&, const Rect&) = default;
};

struct Point {
    std::int32_t x, y;
    friend bool operator==(const Point&, const Point&) = default;
};

// #RRGGBB to the system's 0x00BBGGRR.
constexpr std::uint32_t colour_ref(std::uint32_t rgb) {
    return ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
}

namespace layout {

inline constexpr std::int32_t kWidth = 760;
inline constexpr std::int32_t kHeight = 520;
// The window region is one pixel larger than the client area on each axis.
inline constexpr Rect kRegion{0, 0, kWidth + 1, kHeight + 1};
inline constexpr std::int32_t kRegionCorner = 56;

inline constexpr Rect kCard{10, 10, 750, 510};
inline constexpr Rect kEllipse{250, -160, 510, 120};
inline constexpr Rect kTrack{152, 350, 572, 360};
inline constexpr std::int32_t kFillLeft = 153;  // one pixel inside the track
inline constexpr std::int32_t kFillTop = 351;
inline constexpr std::int32_t kFillBottom = 359;
inline constexpr float kFillMaxWidth = 418.0f;  // a full fill ends at 571
static_assert(kFillLeft == kTrack.left + 1 && kFillTop == kTrack.top + 1 &&
              kFillBottom == kTrack.bottom - 1);
static_assert(kFillMaxWidth == float(kTrack.right - 1 - kFillLeft));
inline constexpr Rect kMainButton{220, 432, 396, 460};
inline constexpr Rect kCancelButton{408, 432, 540, 460};
inline constexpr Rect kMinimiseButton{659, 28, 691, 60};
inline constexpr Rect kCloseButton{700, 28, 732, 60};

namespace palette {
inline constexpr std::uint32_t kBackground = 0x050C14;
inline constexpr std::uint32_t kCardFill = 0x07111B;
inline constexpr std::uint32_t kCardOutline = 0x255071;
inline constexpr std::uint32_t kEllipseFill = 0x081D2B;
inline constexpr std::uint32_t kAccent = 0x20D8FF;  // logo letters, percentage
inline constexpr std::uint32_t kHeadline = 0xF5FAFF;
inline constexpr std::uint32_t kMuted = 0xA2B1C6;  // detail line and window glyphs
inline constexpr std::uint32_t kTrackFill = 0x0A1220;
inline constexpr std::uint32_t kTrackOutline = 0x27405A;
inline constexpr std::uint32_t kProgress = 0x24D8FF;  // progress fill, main button fill
inline constexpr std::uint32_t kMainOutline = 0xB7F7FF;
inline constexpr std::uint32_t kMainCaption = 0x06121D;
inline constexpr std::uint32_t kCancelFill = 0x253247;
inline constexpr std::uint32_t kCancelOutline = 0x45607E;
inline constexpr std::uint32_t kCancelCaption = 0xD2DCEB;
inline constexpr std::uint32_t kBoxFill = 0x0B1522;
inline constexpr std::uint32_t kBoxOutline = 0x26425E;
}  // namespace palette

inline constexpr std::uint32_t kLeftLine = 0x24;     // DT_LEFT | DT_VCENTER | DT_SINGLELINE
inline constexpr std::uint32_t kCentredLine = 0x25;  // DT_CENTER | DT_VCENTER | DT_SINGLELINE
// For texts from the manifest or the system: an "&" in them is drawn as it is,
// not taken as a mnemonic prefix (DT_NOPREFIX).
inline constexpr std::uint32_t kCentredText = kCentredLine | 0x800;

struct Panel {
    Rect rect;
    std::int32_t radius;
    std::uint32_t outline;  // #RRGGBB
    std::uint32_t fill;
};

// Where the text comes from: a fixed literal or one of the state's texts.
enum class TextSource { kFixed, kStatus, kDetail, kButtonLabel, kPercentage };

struct Label {
    TextSource source;
    const char* text;  // for kFixed
    Rect rect;
    std::int32_t size;
    bool bold;
    std::uint32_t colour;  // #RRGGBB
    std::uint32_t format;
};

// Panels and labels in drawing order; the ellipse (after the card) and the
// progress fill (after the track) are drawn between them by the painter.
inline constexpr Panel kCardPanel{kCard, 28, palette::kCardOutline, palette::kCardFill};
inline constexpr Panel kTrackPanel{kTrack, 4, palette::kTrackOutline, palette::kTrackFill};
inline constexpr std::int32_t kFillRadius = 3;

inline constexpr Label kHeaderLabels[] = {
    {TextSource::kFixed, "V", {34, 34, 52, 52}, 22, true, palette::kAccent, kLeftLine},
    {TextSource::kFixed,
     app::kAppName.c_str(),
     {58, 28, 260, 58},
     13,
     true,
     palette::kHeadline,
     kLeftLine},
    {TextSource::kFixed, "V", {0, 96, 760, 196}, 94, true, palette::kAccent, kCentredLine},
    {TextSource::kFixed,
     app::kProductName.c_str(),
     {0, 235, 760, 290},
     42,
     true,
     palette::kHeadline,
     kCentredLine},
    {TextSource::kStatus, nullptr, {0, 302, 760, 334}, 18, true, palette::kHeadline, kCentredText},
};

inline constexpr Label kPercentageLabel{
    TextSource::kPercentage, nullptr, {588, 342, 652, 368}, 14, true, palette::kAccent, kLeftLine};

enum class Hit { kMinimise, kClose, kMain, kCancel, kDrag };

// A control: its panel, then its caption drawn over it; a press inside the
// panel's rectangle hits it.
struct Control {
    Panel panel;
    Label caption;
    Hit hit;
};

inline constexpr Label kDetailLabel{TextSource::kDetail, nullptr,     {0, 378, 760, 410}, 13, false,
                                    palette::kMuted,     kCentredText};

inline constexpr Control kControls[] = {
    {{kMainButton, 6, palette::kMainOutline, palette::kProgress},
     {TextSource::kButtonLabel, nullptr, kMainButton, 14, true, palette::kMainCaption,
      kCentredText},
     Hit::kMain},
    {{kCancelButton, 6, palette::kCancelOutline, palette::kCancelFill},
     {TextSource::kFixed, "Cancel", kCancelButton, 13, true, palette::kCancelCaption, kCentredLine},
     Hit::kCancel},
    // The minimise glyph sits one pixel higher than its box.
    {{kMinimiseButton, 8, palette::kBoxOutline, palette::kBoxFill},
     {TextSource::kFixed, "-", {659, 27, 691, 60}, 16, false, palette::kMuted, kCentredLine},
     Hit::kMinimise},
    {{kCloseButton, 8, palette::kBoxOutline, palette::kBoxFill},
     {TextSource::kFixed, "x", kCloseButton, 15, false, palette::kMuted, kCentredLine},
     Hit::kClose},
};

// Right and bottom edges count as inside, as hit_test reads them.
constexpr bool controls_apart() {
    for (const auto& a : kControls) {
        for (const auto& b : kControls) {
            if (&a == &b) continue;
            const Rect &p = a.panel.rect, &q = b.panel.rect;
            if (p.left <= q.right && q.left <= p.right && p.top <= q.bottom && q.top <= p.bottom) {
                return false;
            }
        }
    }
    return true;
}
static_assert(controls_apart(), "a press must hit at most one control");

}  // namespace layout

using layout::Hit;

// Which control a press at client (x, y) hits; a rectangle's right and bottom
// edges count as inside.
[[nodiscard]] Hit hit_test(std::uint32_t x, std::uint32_t y);

// Top-left corner that centres the window on a screen of this size.
[[nodiscard]] Point centred_origin(std::int32_t screen_width, std::int32_t screen_height);

// Half away from zero: 12.5 gives 13, -0.5 gives -1.
[[nodiscard]] float round_half_away(float value);

// Truncating float to int32 conversion that saturates; NaN gives 0.
[[nodiscard]] std::int32_t saturating_int(float value);

// Width in pixels of the progress fill; 0 or less draws none.
[[nodiscard]] std::int32_t progress_fill_width(float progress);

// "{}%" of the rounded percentage, or "--" while no progress is shown.
[[nodiscard]] std::string percentage_text(bool progress_shown, float progress);
