#include "ui/paint.h"

#include "text/utf.h"
#include "ui/focus.h"
#include "win32/handles.h"

// The text formats in the layout table are the system's DrawText flags.
static_assert(layout::kLeftLine == (DT_LEFT | DT_VCENTER | DT_SINGLELINE));
static_assert(layout::kCentredLine == (DT_CENTER | DT_VCENTER | DT_SINGLELINE));
static_assert(layout::kCentredText == (DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX));

void draw_rounded_panel(HDC dc, const Rect& rect, std::int32_t radius, COLORREF outline,
                        COLORREF fill) {
    const UniqueBrush brush(::CreateSolidBrush(fill));
    const UniquePen pen(::CreatePen(PS_SOLID, 1, outline));
    // Guards are released before the objects they selected are deleted.
    const SelectGuard with_brush(dc, brush.get());
    const SelectGuard with_pen(dc, pen.get());
    ::RoundRect(dc, rect.left, rect.top, rect.right, rect.bottom, 2 * radius, 2 * radius);
}

void draw_text_in_rect(HDC dc, std::string_view text, const Rect& rect, std::int32_t size,
                       bool bold, COLORREF colour, UINT format) {
    const UniqueFont font(::CreateFontW(-size, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, 0, 0, 0,
                                        DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                        CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                                        to_wide("Segoe UI").c_str()));
    const SelectGuard with_font(dc, font.get());
    ::SetTextColor(dc, colour);
    ::SetBkMode(dc, TRANSPARENT);
    RECT box{rect.left, rect.top, rect.right, rect.bottom};
    ::DrawTextW(dc, to_wide(text).c_str(), -1, &box, format);
}

namespace {

bool system_high_contrast_on() {
    HIGHCONTRASTW high_contrast{};
    high_contrast.cbSize = sizeof high_contrast;
    return ::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof high_contrast, &high_contrast, 0) &&
           (high_contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

// Asked at every paint, as the theme may change while the window is open.
struct Palette {
    bool high_contrast = high_contrast_on();
    SystemColours system{::GetSysColor(COLOR_WINDOW),    ::GetSysColor(COLOR_WINDOWTEXT),
                         ::GetSysColor(COLOR_BTNFACE),   ::GetSysColor(COLOR_BTNTEXT),
                         ::GetSysColor(COLOR_HIGHLIGHT), ::GetSysColor(COLOR_GRAYTEXT)};

    COLORREF operator[](Ink ink) const { return window_colour(ink, high_contrast, system); }
};

void draw_panel(HDC dc, const layout::Panel& panel, const Palette& palette) {
    draw_rounded_panel(dc, panel.rect, panel.radius, palette[panel.outline], palette[panel.fill]);
}

void draw_label(HDC dc, const layout::Label& label, const WindowState& state, COLORREF colour) {
    std::string_view text;
    std::string percentage;
    switch (label.source) {
        case layout::TextSource::kFixed:
            text = label.text;
            break;
        case layout::TextSource::kStatus:
            text = state.status;
            break;
        case layout::TextSource::kDetail:
            text = state.detail;
            break;
        case layout::TextSource::kButtonLabel:
            text = state.button_label;
            break;
        case layout::TextSource::kPercentage:
            percentage = percentage_text(state.progress_shown, state.progress);
            text = percentage;
            break;
    }
    draw_text_in_rect(dc, text, label.rect, label.size, label.bold, colour, label.format);
}

void draw_ellipse(HDC dc, const Palette& palette) {
    const UniqueBrush brush(::CreateSolidBrush(palette[Ink::kEllipseFill]));
    const UniquePen pen(::CreatePen(PS_SOLID, 1, palette[Ink::kEllipseOutline]));
    const SelectGuard with_brush(dc, brush.get());
    const SelectGuard with_pen(dc, pen.get());
    const Rect& r = layout::kEllipse;
    ::Ellipse(dc, r.left, r.top, r.right, r.bottom);
}

void draw_progress(HDC dc, const WindowState& state, const Palette& palette) {
    draw_panel(dc, layout::kTrackPanel, palette);
    if (!state.progress_shown) return;
    const std::int32_t width = progress_fill_width(state.progress);
    if (width <= 0) return;
    const COLORREF colour = palette[Ink::kProgress];
    draw_rounded_panel(
        dc, {layout::kFillLeft, layout::kFillTop, layout::kFillLeft + width, layout::kFillBottom},
        layout::kFillRadius, colour, colour);
}

}  // namespace

bool (*high_contrast_on)() = system_high_contrast_on;

LRESULT paint_window(HWND window, const WindowState* state, std::optional<Hit> focus_cue) {
    // Begun even without a state: an unvalidated window would be sent
    // WM_PAINT again and again.
    const PaintGuard paint(window);
    if (state == nullptr) return 0;
    const HDC dc = paint.dc();
    const Palette palette;

    RECT client{};
    ::GetClientRect(window, &client);
    {
        const UniqueBrush background(::CreateSolidBrush(palette[Ink::kBackground]));
        ::FillRect(dc, &client, background.get());
    }
    draw_panel(dc, layout::kCardPanel, palette);
    // High Contrast drops the decoration, which would cut the rounded edge.
    if (!palette.high_contrast) draw_ellipse(dc, palette);
    for (const auto& label : layout::kHeaderLabels) {
        draw_label(dc, label, *state, palette[label.colour]);
    }
    draw_progress(dc, *state, palette);
    draw_label(dc, layout::kPercentageLabel, *state, palette[layout::kPercentageLabel.colour]);
    draw_label(dc, layout::kDetailLabel, *state, palette[layout::kDetailLabel.colour]);
    for (const auto& control : layout::kControls) {
        draw_panel(dc, control.panel, palette);
        if (focus_cue == control.hit) draw_panel(dc, focus_ring(control), palette);
        draw_label(dc, control.caption, *state, palette[caption_ink(control, state->busy)]);
    }
    return 0;
}
