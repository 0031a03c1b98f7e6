// DLLs that are not KnownDLLs are delay-loaded: they are not in the exe's
// import table, and the first call into one loads it through the default DLL
// directories, which the entry point limits to System32 before anything else,
// so that a DLL of the same name beside the exe (say, in Downloads) is never
// loaded. A caller first loads the DLL here, so that a missing one is a
// failure with the system's text instead of an exception from the loader.
#pragma once

#include <windows.h>

#include "base/result.h"

// Limits the default DLL directories to System32: the first thing the
// program does, before the system loads anything on its behalf (user32 loads
// uxtheme when the window is made). Systems without the call (Windows 7
// before its 2011 loader update) keep their order; there the loads below
// fail rather than search elsewhere.
void limit_dll_search_to_system32();

// A kernel32 function that newer systems have and older ones lack; null where
// it is missing.
template <class Function>
[[nodiscard]] Function* newer_kernel32_function(const char* name) {
    return reinterpret_cast<Function*>(
        reinterpret_cast<void (*)()>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), name)));
}

// Loads `name` from System32 (once; the process keeps it).
[[nodiscard]] Status load_system_library(const wchar_t* name);
