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

// What each colour of the window is for. Which colour that is, the window's
// own or the system's, is the palette's choice (window_colour).
enum class Ink : std::uint8_t {
    kBackground,
    kCardFill,
    kCardOutline,  // the window's rounded edge
    kEllipseFill,  // decoration behind the texts
    kEllipseOutline,
    kAccent,    // logo letters, percentage
    kHeadline,  // title, product word, status
    kDetail,
    kTrackFill,
    kTrackOutline,
    kProgress,
    kMainFill,
    kMainOutline,
    kMainCaption,
    kMainCaptionDisabled,  // while the window is busy
    kMainFocus,
    kCancelFill,
    kCancelOutline,
    kCancelCaption,
    kCancelFocus,
    kBoxFill,  // minimise and close
    kBoxOutline,
    kGlyph,
    kBoxFocus,
    kCount
};

inline constexpr std::uint32_t kLeftLine = 0x24;     // DT_LEFT | DT_VCENTER | DT_SINGLELINE
inline constexpr std::uint32_t kCentredLine = 0x25;  // DT_CENTER | DT_VCENTER | DT_SINGLELINE
// For texts from the manifest or the system: an "&" in them is drawn as it is,
// not taken as a mnemonic prefix (DT_NOPREFIX).
inline constexpr std::uint32_t kCentredText = kCentredLine | 0x800;

struct Panel {
    Rect rect;
    std::int32_t radius;
    Ink outline;
    Ink fill;
};

// Where the text comes from: a fixed literal or one of the state's texts.
enum class TextSource { kFixed, kStatus, kDetail, kButtonLabel, kPercentage };

struct Label {
    TextSource source;
    const char* text;  // for kFixed
    Rect rect;
    std::int32_t size;
    bool bold;
    Ink colour;
    std::uint32_t format;
};

// Panels and labels in drawing order; the ellipse (after the card) and the
// progress fill (after the track) are drawn between them by the painter.
inline constexpr Panel kCardPanel{kCard, 28, Ink::kCardOutline, Ink::kCardFill};
inline constexpr Panel kTrackPanel{kTrack, 4, Ink::kTrackOutline, Ink::kTrackFill};
inline constexpr std::int32_t kFillRadius = 3;

inline constexpr Label kHeaderLabels[] = {
    {TextSource::kFixed, "V", {34, 34, 52, 52}, 22, true, Ink::kAccent, kLeftLine},
    {TextSource::kFixed,
     app::kAppName.c_str(),
     {58, 28, 260, 58},
     13,
     true,
     Ink::kHeadline,
     kLeftLine},
    {TextSource::kFixed, "V", {0, 96, 760, 196}, 94, true, Ink::kAccent, kCentredLine},
    {TextSource::kFixed,
     app::kProductName.c_str(),
     {0, 235, 760, 290},
     42,
     true,
     Ink::kHeadline,
     kCentredLine},
    {TextSource::kStatus, nullptr, {0, 302, 760, 334}, 18, true, Ink::kHeadline, kCentredText},
};

inline constexpr Label kPercentageLabel{
    TextSource::kPercentage, nullptr, {588, 342, 652, 368}, 14, true, Ink::kAccent, kLeftLine};

enum class Hit { kMinimise, kClose, kMain, kCancel, kDrag };

// A control: its panel, then its caption drawn over it; a press inside the
// panel's rectangle hits it. `focus` outlines it while it has the keyboard focus.
struct Control {
    Panel panel;
    Label caption;
    Ink focus;
    Hit hit;
};

inline constexpr Label kDetailLabel{TextSource::kDetail, nullptr,     {0, 378, 760, 410}, 13, false,
                                    Ink::kDetail,        kCentredText};

inline constexpr Control kControls[] = {
    {{kMainButton, 6, Ink::kMainOutline, Ink::kMainFill},
     {TextSource::kButtonLabel, nullptr, kMainButton, 14, true, Ink::kMainCaption, kCentredText},
     Ink::kMainFocus,
     Hit::kMain},
    {{kCancelButton, 6, Ink::kCancelOutline, Ink::kCancelFill},
     {TextSource::kFixed, "Cancel", kCancelButton, 13, true, Ink::kCancelCaption, kCentredLine},
     Ink::kCancelFocus,
     Hit::kCancel},
    // The minimise glyph sits one pixel higher than its box.
    {{kMinimiseButton, 8, Ink::kBoxOutline, Ink::kBoxFill},
     {TextSource::kFixed, "-", {659, 27, 691, 60}, 16, false, Ink::kGlyph, kCentredLine},
     Ink::kBoxFocus,
     Hit::kMinimise},
    {{kCloseButton, 8, Ink::kBoxOutline, Ink::kBoxFill},
     {TextSource::kFixed, "x", kCloseButton, 15, false, Ink::kGlyph, kCentredLine},
     Ink::kBoxFocus,
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
using layout::Ink;

// The colours a High Contrast theme sets, as the system gives them (0x00BBGGRR).
struct SystemColours {
    std::uint32_t window, window_text, button_face, button_text, highlight, gray_text;
};

// The colour (0x00BBGGRR) that `ink` paints in. With High Contrast on, every
// colour is one of the system's: the window pair for the background and its
// texts, the button pair for the buttons, the highlight for the progress fill
// and the focus cue, the gray text for a disabled caption. Off, the window's own.
[[nodiscard]] std::uint32_t window_colour(Ink ink, bool high_contrast, const SystemColours& system);

// The ink of a control's caption: the main button's is disabled while the
// window is busy.
[[nodiscard]] Ink caption_ink(const layout::Control& control, bool busy);

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
