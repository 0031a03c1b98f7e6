#include "win32/system_library.h"

#include "win32/system.h"

void limit_dll_search_to_system32() {
    using SetDefaultDllDirectories = BOOL(WINAPI*)(DWORD);
    const auto set = reinterpret_cast<SetDefaultDllDirectories>(reinterpret_cast<void (*)()>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (set != nullptr) set(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

Status load_system_library(const wchar_t* name) {
    if (::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32) == nullptr) {
        return os_failure(::GetLastError());
    }
    return {};
}
