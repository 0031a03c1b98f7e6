#include "ui/window.h"

#include <utility>

#include "release/download.h"
#include "release/update_check.h"
#include "ui/accessible.h"
#include "ui/focus.h"
#include "ui/paint.h"
#include "ui/taskbar.h"

namespace {

void set_rounded_region(HWND window) {
    using namespace layout;
    // The region belongs to the system once set.
    ::SetWindowRgn(window,
                   ::CreateRoundRectRgn(kRegion.left, kRegion.top, kRegion.right, kRegion.bottom,
                                        kRegionCorner, kRegionCorner),
                   TRUE);
}

}  // namespace

MainWindow::MainWindow(HWND window, WindowState state)
    : window_(window),
      state_(std::move(state)),
      channel_(WorkerChannel::open(window)),
      accessible_(std::make_unique<AccessibleObject>(*this)),
      taskbar_button_created_(::RegisterWindowMessageW(L"TaskbarButtonCreated")) {}

MainWindow::~MainWindow() {
    channel_.close();
}

void MainWindow::create() {
    set_rounded_region(window_);
    BOOL always_shown = FALSE;
    ::SystemParametersInfoW(SPI_GETKEYBOARDCUES, 0, &always_shown, 0);
    if (always_shown) return;
    // Hidden first, as for a dialog; then the system shows the cues at once
    // when the program was started from the keyboard.
    ::SendMessageW(window_, WM_UPDATEUISTATE, MAKEWPARAM(UIS_SET, UISF_HIDEFOCUS), 0);
    ::SendMessageW(window_, WM_CHANGEUISTATE, MAKEWPARAM(UIS_INITIALIZE, 0), 0);
}

void MainWindow::focus_control(Hit control) {
    focus_ = control;
    ::InvalidateRect(window_, nullptr, FALSE);
    if (::GetFocus() == window_) announce_focus(window_, focus_);
}

void MainWindow::check_for_updates() {
    start_update_check(channel_, begin_update_check(state_));
    show_on_taskbar();
}

void MainWindow::press_main_button() {
    if (state_.busy) return;
    if (!state_.setup_url) {
        check_for_updates();
        return;
    }
    std::string version = state_.version.value_or("latest");
    // Applied here, before the worker starts: a second press that is already
    // queued finds the window busy.
    apply({WorkerMessage::Status{"Downloading", version, 0.0f, true}});
    show_on_taskbar();
    start_download_and_install(channel_, std::move(version), *state_.setup_url,
                               state_.setup_sha256);
}

void MainWindow::press(Hit control) {
    switch (control) {
        case Hit::kMinimise:
            ::ShowWindow(window_, SW_MINIMIZE);
            break;
        case Hit::kClose:
        case Hit::kCancel:
            ::DestroyWindow(window_);
            break;
        case Hit::kMain:
            press_main_button();
            break;
        case Hit::kDrag:
            break;
    }
}

void MainWindow::button_down(LPARAM lparam) {
    const auto x = static_cast<std::uint32_t>(lparam & 0xFFFF);
    const auto y = static_cast<std::uint32_t>((lparam >> 16) & 0xFFFF);
    const Hit hit = hit_test(x, y);
    // Returns when the button is released.
    if (hit == Hit::kDrag) ::SendMessageW(window_, WM_NCLBUTTONDOWN, HTCAPTION, 0);
    press(hit);
}

void MainWindow::key_down(WPARAM key, LPARAM flags) {
    static_assert(keys::kTab == VK_TAB && keys::kEnter == VK_RETURN && keys::kEscape == VK_ESCAPE &&
                  keys::kSpace == VK_SPACE);
    const bool repeated = (flags & (1 << 30)) != 0;
    const KeyAction action =
        key_action(focus_, static_cast<std::uint32_t>(key), ::GetKeyState(VK_SHIFT) < 0, repeated);
    // The window has no children: it updates its own state, as the system
    // would on WM_CHANGEUISTATE.
    if (action.shows_focus) {
        ::SendMessageW(window_, WM_UPDATEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    }
    if (action.focus != focus_) focus_control(action.focus);
    if (action.press) press(*action.press);
}

// WM_WORKER only says that reports are waiting; whatever its parameters, only
// what workers pushed onto the inbox is applied.
void MainWindow::take_reports() {
    channel_.take([this](WorkerMessage report) { apply(std::move(report)); });
    // Once for all the reports taken, as the window is repainted once for them.
    show_on_taskbar();
}

void MainWindow::apply(WorkerMessage report) {
    const WindowState before = state_;
    update_window_state(state_, std::move(report));
    ::InvalidateRect(window_, nullptr, TRUE);
    if (announce_changes(window_, before, state_)) focus_control(Hit::kMain);
}

// Kept here, not asked of the system with WM_QUERYUISTATE: Wine's default
// procedure keeps no such state.
LRESULT MainWindow::update_ui_state(WPARAM change) {
    if (HIWORD(change) & UISF_HIDEFOCUS) {
        if (LOWORD(change) == UIS_SET) cues_hidden_ = true;
        if (LOWORD(change) == UIS_CLEAR) cues_hidden_ = false;
        ::InvalidateRect(window_, nullptr, FALSE);
    }
    return ::DefWindowProcW(window_, WM_UPDATEUISTATE, change, 0);
}

// The focused control, while the window has the keyboard focus and the cues
// are not hidden.
std::optional<Hit> MainWindow::focus_cue() const {
    if (cues_hidden_ || ::GetFocus() != window_) return std::nullopt;
    return focus_;
}

// A new button shows nothing; it is made again when the shell restarts.
void MainWindow::connect_taskbar() {
    taskbar_ = open_taskbar_button();
    on_taskbar_ = {};
    show_on_taskbar();
}

void MainWindow::show_on_taskbar() {
    if (!taskbar_) return;
    const TaskbarProgress progress = taskbar_progress(state_);
    show_taskbar_progress(*taskbar_, window_, on_taskbar_, progress);
    on_taskbar_ = progress;
}

LRESULT MainWindow::handle_message(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_CREATE:
            create();
            return 0;
        case WM_SIZE:
            set_rounded_region(window_);
            return 0;
        case WM_PAINT:
            return paint_window(window_, &state_, focus_cue());
        case WM_LBUTTONDOWN:
            button_down(lparam);
            return 0;
        case WM_KEYDOWN:
            key_down(wparam, lparam);
            return 0;
        case WM_PRESS:
            press(static_cast<Hit>(wparam));
            return 0;
        case WM_SETFOCUS:
            // Readers hear the focused control rather than the bare window.
            announce_focus(window_, focus_);
            [[fallthrough]];
        case WM_KILLFOCUS:
            ::InvalidateRect(window_, nullptr, FALSE);  // the focus cue
            return ::DefWindowProcW(window_, message, wparam, lparam);
        // The palette follows the theme: High Contrast turned on or off, or
        // its colours changed.
        case WM_SETTINGCHANGE:
            if (wparam == SPI_SETHIGHCONTRAST) ::InvalidateRect(window_, nullptr, FALSE);
            return ::DefWindowProcW(window_, message, wparam, lparam);
        case WM_SYSCOLORCHANGE:
            ::InvalidateRect(window_, nullptr, FALSE);
            return 0;
        case WM_UPDATEUISTATE:
            return update_ui_state(wparam);
        case WM_GETOBJECT:
            return accessible_->answer_get_object(window_, wparam, lparam);
        case WM_WORKER:
            take_reports();
            return 0;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        default:
            if (message == taskbar_button_created_ && message != 0) {
                connect_taskbar();
                return 0;
            }
            return ::DefWindowProcW(window_, message, wparam, lparam);
    }
}

MainWindow* main_window(HWND window) {
    return reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

const WindowState* attached_state(HWND window) {
    const MainWindow* object = main_window(window);
    return object ? &object->state() : nullptr;
}

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
        const std::unique_ptr<WindowState> given(static_cast<WindowState*>(create->lpCreateParams));
        auto object = std::make_unique<MainWindow>(
            window, given ? std::move(*given) : initial_window_state());
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object.release()));
        // The default handling stores the title, which the task bar shows.
        return ::DefWindowProcW(window, message, wparam, lparam);
    }
    MainWindow* const object = main_window(window);
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        const std::unique_ptr<MainWindow> owned(object);
        return ::DefWindowProcW(window, message, wparam, lparam);
    }
    // Before WM_NCCREATE and after WM_NCDESTROY there is nothing to ask.
    if (object == nullptr) return ::DefWindowProcW(window, message, wparam, lparam);
    return object->handle_message(message, wparam, lparam);
}
