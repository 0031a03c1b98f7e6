// A single-threaded COM apartment for the life of a scope: the UI thread's,
// where the window's accessible object lives, and a worker's, for the shell's
// elevation prompt, which may hand the launch to extensions that expect one.
#pragma once

#include <windows.h>

#include <objbase.h>

#include "win32/system_library.h"

class ComApartment {
public:
    // ole32 is delay-loaded: loaded here first, so that a failure leaves the
    // thread without an apartment instead of raising in the loader.
    ComApartment()
        : entered_(load_system_library(L"ole32.dll").ok() &&
                   SUCCEEDED(::CoInitializeEx(
                       nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
    ~ComApartment() {
        if (entered_) ::CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool entered_;
};
