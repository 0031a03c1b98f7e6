#include "win32/system.h"

#include "release/release_rules.h"
#include "text/utf.h"

std::string os_error_text(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    SystemText lookup;
    if (length == 0) {
        lookup.lookup_error = ::GetLastError();
    } else {
        lookup.text = WideText(buffer, length);
    }
    if (buffer != nullptr) ::LocalFree(buffer);
    return os_error_message(code, lookup);
}

void fail_to_spawn_thread() {
    ::MessageBoxW(nullptr, to_wide("failed to spawn thread").c_str(),
                  to_wide("Vantrel Bootstrapper").c_str(), MB_OK | MB_ICONERROR);
    ::ExitProcess(101);
}
