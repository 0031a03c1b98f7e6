#include "ui/accessible_tree.h"

namespace accessible {

std::string_view name_of(const WindowState& state, Child child) {
    if (const char* fixed = kParts[child].name) return fixed;
    if (child == kStatus) return state.status;
    if (child == kDetail) return state.detail;
    return state.button_label;
}

std::string value_of(const WindowState& state, Child child) {
    if (child != kProgress || !state.progress_shown) return {};
    return percentage_text(true, state.progress);
}

std::string description_of(const WindowState& state, Child child) {
    if (child != kMain) return {};
    std::string description(state.status);
    description += ": ";
    description += state.detail;
    return description;
}

std::uint32_t states_of(const WindowState& state, Child child, Hit focus, bool window_focused) {
    const Hit control = kParts[child].control;
    if (control == Hit::kDrag) return child == kSelf ? kFocusable : kReadOnly;
    std::uint32_t states = kFocusable;
    if (control == Hit::kMain && state.busy) states |= kUnavailable;
    if (window_focused && control == focus) states |= kFocused;
    return states;
}

Child child_of(Hit control) {
    for (std::int32_t child = kMain; child <= kClose; ++child) {
        if (kParts[child].control == control) return static_cast<Child>(child);
    }
    return kSelf;
}

Child child_at(std::int32_t x, std::int32_t y) {
    const Hit hit = hit_test(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y));
    if (hit != Hit::kDrag) return child_of(hit);
    for (std::int32_t child = kStatus; child < kMain; ++child) {
        const Rect& r = kParts[child].rect;
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) {
            return static_cast<Child>(child);
        }
    }
    return kSelf;
}

Events state_events(const WindowState& before, const WindowState& after) {
    Events events;
    const auto add = [&events](Event::Kind kind, Child child) {
        events.list[events.count++] = {kind, child};
    };
    // The only parts whose texts and states follow the window state. While
    // the bar moves, the detail line changes with every piece received: it is
    // told with the bar's whole percentages, not each time.
    const bool moved = value_of(before, kProgress) != value_of(after, kProgress);
    const bool same_transfer = after.busy && after.progress_shown && before.status == after.status;
    if (before.status != after.status) add(Event::Kind::kName, kStatus);
    if (before.detail != after.detail && (moved || !same_transfer)) {
        add(Event::Kind::kName, kDetail);
    }
    if (moved) add(Event::Kind::kValue, kProgress);
    const bool relabelled = before.button_label != after.button_label;
    if (relabelled) add(Event::Kind::kName, kMain);
    if (before.busy != after.busy) add(Event::Kind::kState, kMain);
    if (relabelled || (before.busy && !after.busy)) add(Event::Kind::kFocus, kMain);
    return events;
}

}  // namespace accessible
