#include "win32/system.h"

#include "app_info.h"
#include "text/utf.h"
#include "win32/error_text.h"

std::string os_error_text(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    const UniqueLocal owned(buffer);
    SystemText lookup;
    if (length == 0) {
        lookup.lookup_error = ::GetLastError();
    } else {
        lookup.text = WideText(buffer, length);
    }
    return os_error_message(code, lookup);
}

Failure os_failure(DWORD code) {
    return {os_error_text(code), code};
}

void fail_to_spawn_thread() {
    ::MessageBoxW(nullptr, to_wide("failed to spawn thread").c_str(),
                  to_wide(app::kAppName.c_str()).c_str(), MB_OK | MB_ICONERROR);
    ::ExitProcess(101);
}
