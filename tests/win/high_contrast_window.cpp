// The window in Windows' "High Contrast Black" colours, half way through a
// download, for the README's picture: Wine has no High Contrast of its own,
// so this program answers "on" itself. Escape closes it.
#include <windows.h>

#include <memory>

#include "app_info.h"
#include "text/utf.h"
#include "ui/layout.h"
#include "ui/paint.h"
#include "ui/window.h"

int WINAPI wWinMain(HINSTANCE module, HINSTANCE, PWSTR, int) {
    const int indices[] = {COLOR_WINDOW,  COLOR_WINDOWTEXT, COLOR_BTNFACE,
                           COLOR_BTNTEXT, COLOR_HIGHLIGHT,  COLOR_GRAYTEXT};
    const COLORREF black[] = {RGB(0, 0, 0),       RGB(255, 255, 255), RGB(0, 0, 0),
                              RGB(255, 255, 255), RGB(26, 235, 255),  RGB(63, 242, 63)};
    ::SetSysColors(6, indices, black);
    high_contrast_on = [] { return true; };

    const WideText class_name = to_wide(app::kWindowClass.c_str());
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = window_proc;
    window_class.hInstance = module;
    window_class.lpszClassName = class_name.c_str();
    ::RegisterClassW(&window_class);
    auto state = std::make_unique<WindowState>(initial_window_state());
    update_window_state(*state, {WorkerMessage::Ready{"1.4.2", "https://h/setup.exe"}});
    update_window_state(*state, {WorkerMessage::Status{"Downloading", "1.4.2", 0.0f}});
    update_window_state(*state, {WorkerMessage::Progress{"30.0 MB / 48.0 MB", 0.625f}});
    const Point origin =
        centred_origin(::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN));
    ::CreateWindowExW(0, class_name.c_str(), to_wide(app::kAppName.c_str()).c_str(),
                      WS_POPUP | WS_VISIBLE, origin.x, origin.y, layout::kWidth, layout::kHeight,
                      nullptr, nullptr, module, state.release());
    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return 0;
}
