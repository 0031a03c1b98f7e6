// The window's taskbar button, through the shell's ITaskbarList3 once the
// shell has made the button ("TaskbarButtonCreated").
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "ui/taskbar_rules.h"

// The calls the window makes on its button.
class TaskbarButton {
public:
    virtual ~TaskbarButton() = default;
    virtual void set_progress_state(HWND window, TaskbarState state) = 0;
    virtual void set_progress_value(HWND window, std::uint64_t completed, std::uint64_t total) = 0;
};

// The shell's taskbar list, or null where there is none (an old shell, a
// desktop without a taskbar): nothing is shown then, and the log says so once.
[[nodiscard]] std::unique_ptr<TaskbarButton> shell_taskbar_button();

// Where the window gets its button from; tests record the calls instead.
extern std::unique_ptr<TaskbarButton> (*open_taskbar_button)();

// Takes the button from showing `shown` to showing `progress`, with only the
// calls that change something.
void show_taskbar_progress(TaskbarButton& button, HWND window, const TaskbarProgress& shown,
                           const TaskbarProgress& progress);
