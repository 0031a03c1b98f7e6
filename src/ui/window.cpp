#include "ui/window.h"

#include <memory>
#include <utility>

#include "release/download.h"
#include "release/update_check.h"
#include "ui/accessible.h"
#include "ui/focus.h"
#include "ui/layout.h"
#include "ui/paint.h"
#include "ui/worker_channel.h"

namespace {

void press_main_button(HWND window, WindowState* state) {
    if (state == nullptr || state->busy) return;
    if (!state->setup_url) {
        start_update_check(window, begin_update_check(*state));
        return;
    }
    std::string version = state->version.value_or("latest");
    std::string setup_url = *state->setup_url;
    // Queued before the worker exists, so it is applied before anything the
    // worker posts.
    post_worker_message(window, {WorkerMessage::Status{"Downloading", version, 0.0f, true}});
    start_download_and_install(window, std::move(version), std::move(setup_url),
                               state->setup_sha256);
}

void press_control(HWND window, WindowState* state, Hit control) {
    switch (control) {
        case Hit::kMinimise:
            ::ShowWindow(window, SW_MINIMIZE);
            break;
        case Hit::kClose:
        case Hit::kCancel:
            ::DestroyWindow(window);
            break;
        case Hit::kMain:
            press_main_button(window, state);
            break;
        case Hit::kDrag:
            break;
    }
}

void press(HWND window, WindowState* state, LPARAM lparam) {
    const auto x = static_cast<std::uint32_t>(lparam & 0xFFFF);
    const auto y = static_cast<std::uint32_t>((lparam >> 16) & 0xFFFF);
    const Hit hit = hit_test(x, y);
    // Returns when the button is released.
    if (hit == Hit::kDrag) ::SendMessageW(window, WM_NCLBUTTONDOWN, HTCAPTION, 0);
    press_control(window, state, hit);
}

void key_down(HWND window, WindowState* state, WPARAM key, LPARAM flags) {
    static_assert(keys::kTab == VK_TAB && keys::kEnter == VK_RETURN && keys::kEscape == VK_ESCAPE &&
                  keys::kSpace == VK_SPACE);
    const Hit focus = focused_control(window);
    const bool repeated = (flags & (1 << 30)) != 0;
    const KeyAction action =
        key_action(focus, static_cast<std::uint32_t>(key), ::GetKeyState(VK_SHIFT) < 0, repeated);
    // The window has no children: it updates its own state, as the system
    // would on WM_CHANGEUISTATE.
    if (action.shows_focus) {
        ::SendMessageW(window, WM_UPDATEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    }
    if (action.focus != focus) focus_control(window, action.focus);
    if (action.press) press_control(window, state, *action.press);
}

void set_rounded_region(HWND window) {
    using namespace layout;
    // The region belongs to the system once set.
    ::SetWindowRgn(window,
                   ::CreateRoundRectRgn(kRegion.left, kRegion.top, kRegion.right, kRegion.bottom,
                                        kRegionCorner, kRegionCorner),
                   TRUE);
}

void destroy(HWND window, WindowState* attached) {
    detach_accessible(window);
    const std::unique_ptr<WindowState> state(attached);
    if (state) ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    ::PostQuitMessage(0);
}

}  // namespace

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    WindowState* const state = attached_state(window);
    switch (message) {
        case WM_NCCREATE: {
            const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
            ::SetWindowLongPtrW(window, GWLP_USERDATA,
                                reinterpret_cast<LONG_PTR>(create->lpCreateParams));
            // The default handling stores the title, which the task bar shows.
            return ::DefWindowProcW(window, message, wparam, lparam);
        }
        case WM_CREATE:
            attach_accessible(window);
            [[fallthrough]];
        case WM_SIZE:
            set_rounded_region(window);
            return 0;
        case WM_PAINT:
            return paint_window(window, state, focus_cue(window));
        case WM_LBUTTONDOWN:
            press(window, state, lparam);
            return 0;
        case WM_KEYDOWN:
            key_down(window, state, wparam, lparam);
            return 0;
        case WM_PRESS:
            press_control(window, state, static_cast<Hit>(wparam));
            return 0;
        case WM_SETFOCUS:
            announce_focus(window);
            [[fallthrough]];
        case WM_KILLFOCUS:
            ::InvalidateRect(window, nullptr, FALSE);  // the focus cue
            return ::DefWindowProcW(window, message, wparam, lparam);
        case WM_UPDATEUISTATE:
            return update_ui_state(window, wparam);
        case WM_GETOBJECT:
            return answer_get_object(window, wparam, lparam);
        case WM_WORKER: {
            const WindowState before = state ? *state : WindowState{};
            apply_worker_message(window, wparam);
            announce_changes(window, before);
            return 0;
        }
        case WM_DESTROY:
            destroy(window, state);
            return 0;
        default:
            return ::DefWindowProcW(window, message, wparam, lparam);
    }
}
