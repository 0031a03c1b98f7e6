#include <windows.h>

#include "app_info.h"
#include "support/log.h"
#include "text/utf.h"
#include "ui/layout.h"
#include "ui/window.h"
#include "vantrel_version.h"
#include "win32/com_apartment.h"
#include "win32/system_library.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    limit_dll_search_to_system32();
    const HINSTANCE module = ::GetModuleHandleW(nullptr);
    const WideText class_name = to_wide(app::kWindowClass.c_str());

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
