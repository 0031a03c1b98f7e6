// What the window's accessible object tells screen readers: the window and its
// seven parts, each with a role, texts, states and a place, derived from the
// layout and the window state alone; and which changes of state a reader must
// be told of. The platform side (ui/accessible) only hands these over.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app_info.h"
#include "ui/layout.h"
#include "ui/window_state.h"

namespace accessible {

// The system's role numbers (ROLE_SYSTEM_*).
enum class Role : std::uint32_t {
    kDialog = 0x12,
    kStaticText = 0x29,
    kPushButton = 0x2B,
    kProgressBar = 0x30,
};

// The system's state bits (STATE_SYSTEM_*).
inline constexpr std::uint32_t kUnavailable = 0x1;
inline constexpr std::uint32_t kFocused = 0x4;
inline constexpr std::uint32_t kReadOnly = 0x40;
inline constexpr std::uint32_t kFocusable = 0x100000;

// Child ids in reading order; 0 stands for the window itself. The buttons
// follow the layout table's order, which is also the Tab order.
enum Child : std::int32_t { kSelf, kStatus, kDetail, kProgress, kMain, kCancel, kMinimise, kClose };
inline constexpr std::int32_t kChildCount = kClose;

// What a part is whatever the state says.
struct Part {
    Role role;
    Rect rect;         // client coordinates; right and bottom lie outside
    const char* name;  // null where the name is one of the state's texts
    Hit control;       // what its default action presses; kDrag for none
};

namespace detail {
constexpr Rect label_rect(layout::TextSource source) {
    for (const auto& label : layout::kHeaderLabels) {
        if (label.source == source) return label.rect;
    }
    return {};
}
constexpr Part button(const layout::Control& control, const char* name) {
    return {Role::kPushButton, control.panel.rect, name, control.hit};
}
}  // namespace detail

inline constexpr Part kParts[] = {
    {Role::kDialog, {0, 0, layout::kWidth, layout::kHeight}, app::kAppName.c_str(), Hit::kDrag},
    {Role::kStaticText, detail::label_rect(layout::TextSource::kStatus), nullptr, Hit::kDrag},
    {Role::kStaticText, layout::kDetailLabel.rect, nullptr, Hit::kDrag},
    {Role::kProgressBar, layout::kTrack, "Progress", Hit::kDrag},
    detail::button(layout::kControls[0], nullptr),
    detail::button(layout::kControls[1], layout::kControls[1].caption.text),
    // The painted glyphs are not names.
    detail::button(layout::kControls[2], "Minimize"),
    detail::button(layout::kControls[3], "Close"),
};
static_assert(std::size(kParts) == kChildCount + 1);
static_assert(kParts[kStatus].rect.right > 0, "the status line is a header label");
static_assert(kParts[kMain].control == Hit::kMain && kParts[kCancel].control == Hit::kCancel &&
              kParts[kMinimise].control == Hit::kMinimise && kParts[kClose].control == Hit::kClose);

// The texts; empty for none.
[[nodiscard]] std::string_view name_of(const WindowState& state, Child child);
// "N%" while the bar shows progress.
[[nodiscard]] std::string value_of(const WindowState& state, Child child);
// The main button's, read with it when it takes the focus: what the window says now.
[[nodiscard]] std::string description_of(const WindowState& state, Child child);
constexpr std::string_view default_action_of(Child child) {
    return kParts[child].control != Hit::kDrag ? "Press" : "";
}

// `focus` is the control with the keyboard focus; it is reported as focused
// only while the window itself has the keyboard focus.
[[nodiscard]] std::uint32_t states_of(const WindowState& state, Child child, Hit focus,
                                      bool window_focused);

[[nodiscard]] Child child_of(Hit control);

// The child at client point (x, y) of the window, or kSelf. The buttons are
// found by hit_test, so a reader's point and a click agree.
[[nodiscard]] Child child_at(std::int32_t x, std::int32_t y);

struct Event {
    enum class Kind { kName, kValue, kState, kFocus };
    Kind kind{};
    Child child{};
    friend bool operator==(const Event&, const Event&) = default;
};

struct Events {
    Event list[6];
    int count = 0;
    [[nodiscard]] const Event* begin() const { return list; }
    [[nodiscard]] const Event* end() const { return list + count; }
};

// Name, value and availability changes, in child order (the detail line
// while the bar moves only with a new whole percentage); then the focus moves
// to the main button when it offers something new (a new label, or pressable
// again): at "Ready to download", "Download failed" and "Installed", so that a
// reader speaks the new state.
[[nodiscard]] Events state_events(const WindowState& before, const WindowState& after);

}  // namespace accessible
