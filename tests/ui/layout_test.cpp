#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "ui/focus.h"
#include "ui/layout.h"

namespace {

const char* hit_name(Hit hit) {
    switch (hit) {
        case Hit::kMinimise:
            return "minimise";
        case Hit::kClose:
            return "close";
        case Hit::kMain:
            return "main";
        case Hit::kCancel:
            return "cancel";
        case Hit::kDrag:
            return "drag";
    }
    return "?";
}

TEST(Layout, HitTestEdges) {
    struct Case {
        std::uint32_t x, y;
        Hit hit;
    };
    const std::vector<Case> cases = {
        {691, 60, Hit::kMinimise}, {692, 44, Hit::kDrag},      {659, 28, Hit::kMinimise},
        {658, 28, Hit::kDrag},     {700, 28, Hit::kClose},     {732, 60, Hit::kClose},
        {733, 60, Hit::kDrag},     {396, 460, Hit::kMain},     {220, 432, Hit::kMain},
        {400, 446, Hit::kDrag},    {408, 432, Hit::kCancel},   {540, 460, Hit::kCancel},
        {541, 460, Hit::kDrag},    {300, 431, Hit::kDrag},     {300, 461, Hit::kDrag},
        {0, 0, Hit::kDrag},        {65535, 65535, Hit::kDrag},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "(" << c.x << "," << c.y << ")");
        EXPECT_STREQ(hit_name(hit_test(c.x, c.y)), hit_name(c.hit));
    }
}

TEST(Layout, CentredOrigin) {
    struct Case {
        std::int32_t width, height;
        Point origin;
    };
    const std::vector<Case> cases = {
        {1920, 1080, {580, 280}}, {759, 520, {0, 0}},   {700, 520, {-30, 0}},
        {760, 519, {0, 0}},       {0, 0, {-380, -260}}, {761, 521, {0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        const Point p = centred_origin(c.width, c.height);
        EXPECT_EQ(p.x, c.origin.x);
        EXPECT_EQ(p.y, c.origin.y);
    }
}

TEST(Layout, RoundHalfAway) {
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        float value, rounded;
    };
    const std::vector<Case> cases = {
        {12.5f, 13.0f},
        {-0.5f, -1.0f},
        {0.49999997f, 0.0f},
        {2.5f, 3.0f},
        {-2.5f, -3.0f},
        {0.5f, 1.0f},
        {-0.49999997f, 0.0f},
        {1.4f, 1.0f},
        {-1.6f, -2.0f},
        {8388607.5f, 8388608.0f},
        {8388609.0f, 8388609.0f},
        {-8388609.0f, -8388609.0f},
        {inf, inf},
        {-inf, -inf},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(round_half_away(c.value), c.rounded);
    }
    EXPECT_TRUE(std::isnan(round_half_away(std::numeric_limits<float>::quiet_NaN())));
}

TEST(Layout, SaturatingInt) {
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        float value;
        std::int32_t result;
    };
    const std::vector<Case> cases = {
        {std::numeric_limits<float>::quiet_NaN(), 0},
        {2147483520.0f, 2147483520},
        {2147483648.0f, 2147483647},
        {inf, 2147483647},
        {-2147483648.0f, -2147483647 - 1},
        {-inf, -2147483647 - 1},
        {-3.0f, -3},
        {-3.9f, -3},
        {3.9f, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(saturating_int(c.value), c.result);
    }
}

TEST(Layout, ProgressFillAndPercentage) {
    struct Case {
        float progress;
        std::int32_t width;
        const char* text;
    };
    const std::vector<Case> cases = {
        {0.0f, 0, "0%"},     {0.001f, 0, "0%"},
        {0.0012f, 1, "0%"},  {0.125f, 52, "13%"},
        {0.5f, 209, "50%"},  {0.9999f, 418, "100%"},
        {1.0f, 418, "100%"}, {std::numeric_limits<float>::quiet_NaN(), 0, "0%"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.progress);
        EXPECT_EQ(progress_fill_width(c.progress), c.width);
        EXPECT_EQ(percentage_text(true, c.progress), c.text);
        EXPECT_EQ(percentage_text(false, c.progress), "--");
    }
}

// Each painted element's colour: the window's own (#RRGGBB), and the system's
// in High Contrast (made-up colours W window, T window text, F button face,
// B button text, H highlight, G gray text).
TEST(Layout, PaletteFollowsHighContrast) {
    using namespace layout;
    enum : std::uint32_t { W = 0xF1, T, F, B, H, G };
    const Control &main = kControls[0], &cancel = kControls[1], &box = kControls[2];
    const struct {
        Ink ink;
        std::uint32_t own, high_contrast;
    } cases[] = {{Ink::kBackground, 0x050C14, W},
                 {kCardPanel.fill, 0x07111B, W},
                 {kCardPanel.outline, 0x255071, T},
                 {Ink::kEllipseFill, 0x081D2B, W},
                 {kHeaderLabels[0].colour, 0x20D8FF, T},
                 {kPercentageLabel.colour, 0x20D8FF, T},
                 {kDetailLabel.colour, 0xA2B1C6, T},
                 {kTrackPanel.fill, 0x0A1220, W},
                 {kTrackPanel.outline, 0x27405A, T},
                 {Ink::kProgress, 0x24D8FF, H},
                 {main.panel.fill, 0x24D8FF, F},
                 {main.panel.outline, 0xB7F7FF, B},
                 {caption_ink(main, false), 0x06121D, B},
                 {caption_ink(main, true), 0x06121D, G},
                 {focus_ring(main).outline, 0x06121D, H},
                 {cancel.panel.fill, 0x253247, F},
                 {caption_ink(cancel, true), 0xD2DCEB, B},
                 {kControls[3].panel.fill, 0x0B1522, F},
                 {kControls[3].caption.colour, 0xA2B1C6, B},
                 {focus_ring(box).outline, 0xA2B1C6, H}};
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.ink));
        EXPECT_EQ(window_colour(c.ink, false, {W, T, F, B, H, G}), colour_ref(c.own));
        EXPECT_EQ(window_colour(c.ink, true, {W, T, F, B, H, G}), c.high_contrast);
    }
}

TEST(Layout, ColourRef) {
    EXPECT_EQ(colour_ref(0x20D8FF), 0x00FFD820u);
    EXPECT_EQ(colour_ref(0x123456), 0x00563412u);
}

}  // namespace
