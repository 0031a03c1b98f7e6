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

void draw_panel(HDC dc, const layout::Panel& panel) {
    draw_rounded_panel(dc, panel.rect, panel.radius, colour_ref(panel.outline),
                       colour_ref(panel.fill));
}

void draw_label(HDC dc, const layout::Label& label, const WindowState& state) {
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
    draw_text_in_rect(dc, text, label.rect, label.size, label.bold, colour_ref(label.colour),
                      label.format);
}

void draw_ellipse(HDC dc) {
    // No pen of its own: the outline is whatever pen the context holds, in a
    // fresh paint context the default black one.
    const UniqueBrush brush(::CreateSolidBrush(colour_ref(layout::palette::kEllipseFill)));
    const SelectGuard with_brush(dc, brush.get());
    const Rect& r = layout::kEllipse;
    ::Ellipse(dc, r.left, r.top, r.right, r.bottom);
}

void draw_progress(HDC dc, const WindowState& state) {
    draw_panel(dc, layout::kTrackPanel);
    if (!state.progress_shown) return;
    const std::int32_t width = progress_fill_width(state.progress);
    if (width <= 0) return;
    const auto colour = colour_ref(layout::palette::kProgress);
    draw_rounded_panel(
        dc, {layout::kFillLeft, layout::kFillTop, layout::kFillLeft + width, layout::kFillBottom},
        layout::kFillRadius, colour, colour);
}

}  // namespace

LRESULT paint_window(HWND window, const WindowState* state, std::optional<Hit> focus_cue) {
    // Begun even without a state: an unvalidated window would be sent
    // WM_PAINT again and again.
    const PaintGuard paint(window);
    if (state == nullptr) return 0;
    const HDC dc = paint.dc();

    RECT client{};
    ::GetClientRect(window, &client);
    {
        const UniqueBrush background(::CreateSolidBrush(colour_ref(layout::palette::kBackground)));
        ::FillRect(dc, &client, background.get());
    }
    draw_panel(dc, layout::kCardPanel);
    draw_ellipse(dc);
    for (const auto& label : layout::kHeaderLabels) draw_label(dc, label, *state);
    draw_progress(dc, *state);
    draw_label(dc, layout::kPercentageLabel, *state);
    draw_label(dc, layout::kDetailLabel, *state);
    for (const auto& control : layout::kControls) {
        draw_panel(dc, control.panel);
        if (focus_cue == control.hit) draw_panel(dc, focus_ring(control));
        draw_label(dc, control.caption, *state);
    }
    return 0;
}
