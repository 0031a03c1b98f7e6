#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string_view>

#include "ui/layout.h"
#include "ui/window_state.h"

// Whether a High Contrast theme is on, asked at every paint. Wine always says
// no, so its tests put an answer of their own here.
extern bool (*high_contrast_on)();

// Draws the whole window from its state, with a focus ring in `focus_cue`;
// returns the WM_PAINT result. Without a state the paint is only begun and ended.
LRESULT paint_window(HWND window, const WindowState* state, std::optional<Hit> focus_cue);

// A rounded rectangle with a 1-pixel outline; radius 28 gives 56 by 56 corners.
void draw_rounded_panel(HDC dc, const Rect& rect, std::int32_t radius, COLORREF outline,
                        COLORREF fill);

// One line of "Segoe UI" text clipped to `rect`, `size` pixels high.
void draw_text_in_rect(HDC dc, std::string_view text, const Rect& rect, std::int32_t size,
                       bool bold, COLORREF colour, UINT format);
