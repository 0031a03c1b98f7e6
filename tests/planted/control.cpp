// The control for the planted-DLL test: a program that imports WinHTTP the
// ordinary way, and so takes a winhttp.dll from its own folder. Exits with 0
// when the WinHTTP it got works.
#include <windows.h>
#include <winhttp.h>

int main() {
    const HINTERNET session = ::WinHttpOpen(L"control", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                            WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (session == nullptr) return 1;
    ::WinHttpCloseHandle(session);
    return 0;
}
