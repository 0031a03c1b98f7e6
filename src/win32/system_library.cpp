#include "win32/system_library.h"

#include "win32/system.h"

void limit_dll_search_to_system32() {
    const auto set = newer_kernel32_function<BOOL WINAPI(DWORD)>("SetDefaultDllDirectories");
    if (set != nullptr) set(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

Status load_system_library(const wchar_t* name) {
    if (::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32) == nullptr) {
        return last_os_failure();
    }
    return {};
}
