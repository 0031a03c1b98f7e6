// Owners for every handle the program opens, so that each is closed exactly
// once on every path, in reverse order of declaration.
#pragma once

#include <windows.h>

#include <bcrypt.h>
#include <unknwn.h>
#include <winhttp.h>
#include <wintrust.h>

#include <memory>
#include <type_traits>
#include <utility>

template <auto Close>
struct Closer {
    template <class H>
    void operator()(H handle) const {
        Close(handle);
    }
};

template <class Handle, auto Close>
using UniqueOwner = std::unique_ptr<std::remove_pointer_t<Handle>, Closer<Close>>;

inline void close_kernel_handle(HANDLE h) {
    ::CloseHandle(h);
}
inline void close_internet_handle(HINTERNET h) {
    ::WinHttpCloseHandle(h);
}
inline void delete_gdi_object(HGDIOBJ h) {
    ::DeleteObject(h);
}
inline void free_local(HLOCAL h) {
    ::LocalFree(h);
}
inline void free_global(HGLOBAL h) {
    ::GlobalFree(h);
}
inline void close_algorithm(BCRYPT_ALG_HANDLE h) {
    ::BCryptCloseAlgorithmProvider(h, 0);
}
inline void destroy_hash(BCRYPT_HASH_HANDLE h) {
    ::BCryptDestroyHash(h);
}
inline void close_find(HANDLE h) {
    ::FindClose(h);
}

// A COM object's reference.
inline void release_com(IUnknown* object) {
    object->Release();
}

using UniqueHandle = UniqueOwner<HANDLE, &close_kernel_handle>;
using UniqueInternet = UniqueOwner<HINTERNET, &close_internet_handle>;
using UniqueBrush = UniqueOwner<HBRUSH, &delete_gdi_object>;
using UniquePen = UniqueOwner<HPEN, &delete_gdi_object>;
using UniqueFont = UniqueOwner<HFONT, &delete_gdi_object>;
using UniqueLocal = UniqueOwner<HLOCAL, &free_local>;
// The texts WinHTTP's proxy calls hand over.
using UniqueGlobalText = UniqueOwner<wchar_t*, &free_global>;
using UniqueAlgorithm = UniqueOwner<BCRYPT_ALG_HANDLE, &close_algorithm>;
using UniqueHash = UniqueOwner<BCRYPT_HASH_HANDLE, &destroy_hash>;
template <class Interface>
using UniqueCom = UniqueOwner<Interface*, &release_com>;

// An owner for handles whose empty value is INVALID_HANDLE_VALUE, as
// CreateFileW and FindFirstFileW give on failure, rather than null.
template <auto Close>
class UniqueInvalidOwner {
public:
    UniqueInvalidOwner() = default;
    explicit UniqueInvalidOwner(HANDLE handle) : handle_(handle) {}
    ~UniqueInvalidOwner() {
        if (*this) Close(handle_);
    }
    UniqueInvalidOwner(UniqueInvalidOwner&& other) noexcept
        : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
    UniqueInvalidOwner& operator=(UniqueInvalidOwner&& other) noexcept {
        std::swap(handle_, other.handle_);
        return *this;
    }
    [[nodiscard]] explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE; }
    [[nodiscard]] HANDLE get() const { return handle_; }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

using UniqueFile = UniqueInvalidOwner<&close_kernel_handle>;
// A directory search.
using UniqueFind = UniqueInvalidOwner<&close_find>;

// The state WinVerifyTrust keeps after a verify (WTD_STATEACTION_VERIFY),
// released by its closing call.
class TrustStateGuard {
public:
    TrustStateGuard(GUID& action, WINTRUST_DATA& data) : action_(action), data_(data) {}
    ~TrustStateGuard() {
        data_.dwStateAction = WTD_STATEACTION_CLOSE;
        ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action_, &data_);
    }
    TrustStateGuard(const TrustStateGuard&) = delete;
    TrustStateGuard& operator=(const TrustStateGuard&) = delete;

private:
    GUID& action_;
    WINTRUST_DATA& data_;
};

// Selects an object into a device context and puts the previous one back.
class SelectGuard {
public:
    SelectGuard(HDC dc, HGDIOBJ object) : dc_(dc), previous_(::SelectObject(dc, object)) {}
    ~SelectGuard() { ::SelectObject(dc_, previous_); }
    SelectGuard(const SelectGuard&) = delete;
    SelectGuard& operator=(const SelectGuard&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// BeginPaint in the constructor, EndPaint in the destructor.
class PaintGuard {
public:
    explicit PaintGuard(HWND window) : window_(window), paint_{} {
        dc_ = ::BeginPaint(window, &paint_);
    }
    ~PaintGuard() { ::EndPaint(window_, &paint_); }
    PaintGuard(const PaintGuard&) = delete;
    PaintGuard& operator=(const PaintGuard&) = delete;
    [[nodiscard]] HDC dc() const { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT paint_;
    HDC dc_;
};
