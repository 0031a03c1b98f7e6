#include "ui/window.h"

#include <memory>
#include <utility>

#include "release/download.h"
#include "release/update_check.h"
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

void press(HWND window, WindowState* state, LPARAM lparam) {
    const auto x = static_cast<std::uint32_t>(lparam & 0xFFFF);
    const auto y = static_cast<std::uint32_t>((lparam >> 16) & 0xFFFF);
    switch (hit_test(x, y)) {
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
            // Returns when the button is released.
            ::SendMessageW(window, WM_NCLBUTTONDOWN, HTCAPTION, 0);
            break;
    }
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
        case WM_SIZE:
            set_rounded_region(window);
            return 0;
        case WM_PAINT:
            return paint_window(window, state);
        case WM_LBUTTONDOWN:
            press(window, state, lparam);
            return 0;
        case WM_WORKER:
            apply_worker_message(window, wparam);
            return 0;
        case WM_DESTROY:
            destroy(window, state);
            return 0;
        default:
            return ::DefWindowProcW(window, message, wparam, lparam);
    }
}
