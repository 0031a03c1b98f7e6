// Screen-reader access to a window that paints its controls itself: the
// window's accessible object, and the events that tell readers of changes.
// Everything here runs on the UI thread.
#pragma once

#include <windows.h>

#include "ui/layout.h"
#include "ui/window_state.h"

class MainWindow;
class WindowAccessible;

// The window's IAccessible, which answers every question from the window's
// object and keeps nothing of its own. The window holds one reference from its
// creation; readers in other processes may hold more.
class AccessibleObject {
public:
    explicit AccessibleObject(MainWindow& window);
    // Readers still holding the object get an error from now on.
    ~AccessibleObject();
    AccessibleObject(const AccessibleObject&) = delete;
    AccessibleObject& operator=(const AccessibleObject&) = delete;

    // WM_GETOBJECT: the object for OBJID_CLIENT, else the default answer.
    [[nodiscard]] LRESULT answer_get_object(HWND window, WPARAM wparam, LPARAM lparam);

private:
    WindowAccessible* object_;
    bool handed_out_ = false;  // to a reader, through COM
};

// Tells readers that `control` has the focus.
void announce_focus(HWND window, Hit control);

// Tells readers what changed from `before` to `after`; true when the change
// calls for the focus to move to the main button.
[[nodiscard]] bool announce_changes(HWND window, const WindowState& before,
                                    const WindowState& after);
