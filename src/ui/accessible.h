// Keyboard and screen-reader access to a window that paints its controls
// itself: the window's accessible object, the control with the keyboard focus
// (which that object reports), and the events that tell readers of changes.
// Everything here runs on the UI thread.
#pragma once

#include <windows.h>

#include <optional>

#include "ui/layout.h"
#include "ui/window_state.h"

// Posted by the accessible object's default action, so that the press happens
// after the reader's call has returned; wparam is the Hit pressed.
inline constexpr UINT WM_PRESS = WM_APP + 2;
static_assert(WM_PRESS == 0x8002);

// WM_CREATE: the object with the focus on the main button, and focus cues
// hidden until the keyboard is used, unless the user always wants them.
void attach_accessible(HWND window);

// WM_DESTROY: readers still holding the object get an error from now on.
void detach_accessible(HWND window);

// WM_GETOBJECT: the object for OBJID_CLIENT, else the default answer.
[[nodiscard]] LRESULT answer_get_object(HWND window, WPARAM wparam, LPARAM lparam);

[[nodiscard]] Hit focused_control(HWND window);

// Moves the keyboard focus to `control`, repaints, and tells readers.
void focus_control(HWND window, Hit control);

// WM_UPDATEUISTATE: keeps whether focus cues are hidden. Kept here, not asked
// of the system with WM_QUERYUISTATE: Wine's default procedure keeps no such state.
LRESULT update_ui_state(HWND window, WPARAM change);

// The control whose focus cue is drawn: the focused one while the window has
// the keyboard focus and the cues are not hidden.
[[nodiscard]] std::optional<Hit> focus_cue(HWND window);

// WM_SETFOCUS: readers hear the focused control rather than the bare window.
void announce_focus(HWND window);

// After the state changed from `before`: tells readers what changed, and moves
// the focus to the main button when the state calls for it.
void announce_changes(HWND window, const WindowState& before);
