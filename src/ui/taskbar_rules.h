// What the window's taskbar button shows of its progress, so that a user
// working in another window still sees it.
#pragma once

#include <cstdint>

#include "ui/window_state.h"

// The shell's own numbers for these states (TBPF_*).
enum class TaskbarState : std::uint8_t { kNone = 0, kIndeterminate = 1, kNormal = 2, kError = 4 };

// Values are sent as parts of this whole.
inline constexpr std::uint32_t kTaskbarWhole = 1000;

struct TaskbarProgress {
    TaskbarState state = TaskbarState::kNone;
    std::uint32_t completed = 0;  // of kTaskbarWhole, in the normal and error states
    friend bool operator==(const TaskbarProgress&, const TaskbarProgress&) = default;
};

// Indeterminate while an update check is awaited and while installing; the
// download's fraction; the error state, full, on "Download failed"; nothing
// on "Ready to download" and "Installed". Any other status is indeterminate
// while the window is busy and shows nothing otherwise.
[[nodiscard]] TaskbarProgress taskbar_progress(const WindowState& state);
