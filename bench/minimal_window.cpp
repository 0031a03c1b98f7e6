// The start-up yardstick: the least a Win32 window program does before its
// first paint. Same size, style and position as the bootstrapper's window,
// filled with its card colour so that one pixel probe serves both; a click
// anywhere closes it.
#include <windows.h>

namespace {

constexpr int kWidth = 760, kHeight = 520;
constexpr COLORREF kCardFill = RGB(0x07, 0x11, 0x1B);

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint;
            const HDC dc = ::BeginPaint(window, &paint);
            const HBRUSH brush = ::CreateSolidBrush(kCardFill);
            RECT all{0, 0, kWidth, kHeight};
            ::FillRect(dc, &all, brush);
            ::DeleteObject(brush);
            ::EndPaint(window, &paint);
            return 0;
        }
        case WM_LBUTTONDOWN:
            ::DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        default:
            return ::DefWindowProcW(window, message, wparam, lparam);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = window_proc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = L"MinimalWindow";
    ::RegisterClassW(&wc);
    const int x = (::GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2;
    const int y = (::GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2;
    const HWND window =
        ::CreateWindowExW(0, wc.lpszClassName, L"Minimal Window", WS_POPUP | WS_VISIBLE, x, y,
                          kWidth, kHeight, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) return 1;
    ::UpdateWindow(window);
    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return 0;
}
