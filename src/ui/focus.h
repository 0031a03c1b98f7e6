// The keyboard: which control has the focus and what a key does to it. The
// focus moves among the controls in the layout table's order.
#pragma once

#include <cstdint>
#include <optional>

#include "ui/layout.h"

// The system's virtual-key codes of the keys the window answers.
namespace keys {
inline constexpr std::uint32_t kTab = 0x09;
inline constexpr std::uint32_t kEnter = 0x0D;
inline constexpr std::uint32_t kEscape = 0x1B;
inline constexpr std::uint32_t kSpace = 0x20;
}  // namespace keys

struct KeyAction {
    Hit focus;                 // the control with the focus after the key
    std::optional<Hit> press;  // the control the key presses
    bool shows_focus = false;  // the key moved the focus, so its cue must show from now on
};

// Tab and Shift+Tab move the focus, wrapping around; Enter and Space press the
// focused control; Escape presses Cancel. A held key's repeats press nothing.
[[nodiscard]] KeyAction key_action(Hit focus, std::uint32_t key, bool shift, bool repeated);

// The one-pixel ring drawn just inside a focused control, before its caption,
// in the control's focus ink (its caption's colour, so that it stands out from
// the fill as the caption does; the highlight in High Contrast), around the
// control's own fill.
[[nodiscard]] layout::Panel focus_ring(const layout::Control& control);
