// The one main window: an object that owns what the window shows, the
// keyboard focus, the focus cues, the accessible object and the inbox of
// worker reports. The window procedure finds it in GWLP_USERDATA, where it
// lives from WM_NCCREATE to WM_NCDESTROY, and hands each message to one member.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>

#include "report/worker_channel.h"
#include "ui/layout.h"
#include "ui/taskbar_rules.h"
#include "ui/window_state.h"

class AccessibleObject;
class TaskbarButton;

// Posted by the accessible object's default action, so that the press happens
// after the reader's call has returned; wparam is the Hit pressed.
inline constexpr UINT WM_PRESS = WM_APP + 2;
static_assert(WM_PRESS == 0x8002);

class MainWindow {
public:
    MainWindow(HWND window, WindowState state);
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    [[nodiscard]] HWND handle() const { return window_; }
    [[nodiscard]] const WindowState& state() const { return state_; }
    [[nodiscard]] Hit focus() const { return focus_; }
    [[nodiscard]] const WorkerChannel& channel() const { return channel_; }

    // Moves the keyboard focus to `control`, repaints, and tells readers.
    void focus_control(Hit control);

    // Starts an update check whose result, and no earlier one's, is applied.
    void check_for_updates();

    [[nodiscard]] LRESULT handle_message(UINT message, WPARAM wparam, LPARAM lparam);

private:
    void create();
    void press(Hit control);
    void press_main_button();
    void button_down(LPARAM lparam);
    void key_down(WPARAM key, LPARAM flags);
    void take_reports();
    void apply(WorkerMessage report);
    [[nodiscard]] LRESULT update_ui_state(WPARAM change);
    [[nodiscard]] std::optional<Hit> focus_cue() const;
    void connect_taskbar();
    void show_on_taskbar();

    HWND window_;
    WindowState state_;
    Hit focus_ = Hit::kMain;
    bool cues_hidden_ = false;
    WorkerChannel channel_;
    std::unique_ptr<AccessibleObject> accessible_;
    const UINT taskbar_button_created_;
    std::unique_ptr<TaskbarButton> taskbar_;  // null until the shell made the button
    TaskbarProgress on_taskbar_;
};

// The creation parameter is a heap WindowState that the window takes over, or
// null for the initial state.
LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// The window's object, or null before WM_NCCREATE and after WM_NCDESTROY.
[[nodiscard]] MainWindow* main_window(HWND window);

// What the window shows, or null while it has no object.
[[nodiscard]] const WindowState* attached_state(HWND window);
