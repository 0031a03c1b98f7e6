#include <windows.h>

#include "app_info.h"
#include "support/log.h"
#include "text/utf.h"
#include "ui/layout.h"
#include "ui/window.h"
#include "vantrel_version.h"
#include "win32/com_apartment.h"
#include "win32/handles.h"
#include "win32/system_library.h"

namespace {

// A second start: the open run's window comes forward, restored if
// minimised, and this run ends without asking the network anything. Async,
// so that a busy first run cannot hold this one up.
int bring_open_run_forward(const WideText& class_name) {
    const HWND window = ::FindWindowW(class_name.c_str(), nullptr);
    if (window != nullptr) {
        if (::IsIconic(window)) ::ShowWindowAsync(window, SW_RESTORE);
        ::SetForegroundWindow(window);
    }
    open_support_log(VANTREL_VERSION_TEXT, window ? ", already running: its window brought forward"
                                                  : ", already running: no window yet");
    return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    limit_dll_search_to_system32();
    const HINSTANCE module = ::GetModuleHandleW(nullptr);
    const WideText class_name = to_wide(app::kWindowClass.c_str());

    // Marks this run as open in the session until it ends. The mark of an
    // elevated run cannot be opened from here: that run is open too.
    ::SetLastError(0);
    const UniqueHandle running(
        ::CreateMutexW(nullptr, FALSE, to_wide(app::kRunningMutex.c_str()).c_str()));
    const DWORD mark = ::GetLastError();
    if (mark == ERROR_ALREADY_EXISTS || (!running && mark == ERROR_ACCESS_DENIED)) {
        return bring_open_run_forward(class_name);
    }

    WNDCLASSW window_class{};
    window_class.lpfnWndProc = window_proc;
    window_class.hInstance = module;
    window_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    window_class.lpszClassName = class_name.c_str();
    ::RegisterClassW(&window_class);

    const ComApartment apartment;  // before the window, whose accessible object lives in it

    // The window makes its object, with the initial state, at WM_NCCREATE.
    const HWND window =
        ::CreateWindowExW(0, class_name.c_str(), to_wide(app::kAppName.c_str()).c_str(),
                          WS_POPUP | WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, layout::kWidth,
                          layout::kHeight, nullptr, nullptr, module, nullptr);
    if (window == nullptr) return 0;

    const Point origin =
        centred_origin(::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN));
    ::SetWindowPos(window, nullptr, origin.x, origin.y, layout::kWidth, layout::kHeight,
                   SWP_NOZORDER);
    ::ShowWindow(window, SW_SHOW);
    ::UpdateWindow(window);  // the first paint comes before anything else

    open_support_log(VANTREL_VERSION_TEXT);  // before any worker writes to it
    main_window(window)->check_for_updates();

    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    // Workers may go on writing until the process ends.
    log_event("end");
    return 0;
}
