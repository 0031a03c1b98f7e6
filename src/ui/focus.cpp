#include "ui/focus.h"

#include <cstddef>
#include <iterator>

namespace {

constexpr std::size_t kControlCount = std::size(layout::kControls);

std::size_t index_of(Hit control) {
    for (std::size_t i = 0; i < kControlCount; ++i) {
        if (layout::kControls[i].hit == control) return i;
    }
    return 0;
}

// Between the control's outline and the ring one pixel of fill stays visible.
constexpr std::int32_t kRingInset = 2;

}  // namespace

KeyAction key_action(Hit focus, std::uint32_t key, bool shift, bool repeated) {
    switch (key) {
        case keys::kTab: {
            const std::size_t step = shift ? kControlCount - 1 : 1;
            return {layout::kControls[(index_of(focus) + step) % kControlCount].hit, {}, true};
        }
        case keys::kEnter:
        case keys::kSpace:
            if (!repeated) return {focus, focus};
            break;
        case keys::kEscape:
            if (!repeated) return {focus, Hit::kCancel};
            break;
    }
    return {focus, {}};
}

layout::Panel focus_ring(const layout::Control& control) {
    const Rect& r = control.panel.rect;
    return {{r.left + kRingInset, r.top + kRingInset, r.right - kRingInset, r.bottom - kRingInset},
            control.panel.radius - kRingInset,
            control.focus,
            control.panel.fill};
}
