#include "ui/taskbar_rules.h"

#include <algorithm>

#include "ui/layout.h"

namespace {

struct StatusRow {
    const char* status;
    TaskbarState state;
};

constexpr StatusRow kStatusRows[] = {
    {"Checking for updates...", TaskbarState::kIndeterminate},
    {"Downloading", TaskbarState::kNormal},
    {"Installing", TaskbarState::kIndeterminate},
    {"Download failed", TaskbarState::kError},
    {"Ready to download", TaskbarState::kNone},
    {"Installed", TaskbarState::kNone},
};

}  // namespace

TaskbarProgress taskbar_progress(const WindowState& state) {
    // "Try Again" after a failed check leaves the failure on screen until the
    // new answer arrives, but the check is running.
    if (state.check_awaited) return {TaskbarState::kIndeterminate};
    TaskbarState shown = state.busy ? TaskbarState::kIndeterminate : TaskbarState::kNone;
    for (const StatusRow& row : kStatusRows) {
        if (state.status == row.status) shown = row.state;
    }
    if (shown == TaskbarState::kError) return {shown, kTaskbarWhole};
    if (shown != TaskbarState::kNormal) return {shown};
    const std::int32_t parts = saturating_int(round_half_away(state.progress * kTaskbarWhole));
    return {shown, static_cast<std::uint32_t>(std::clamp<std::int32_t>(parts, 0, kTaskbarWhole))};
}
