#include "win32/system.h"

#include <cstring>

#include "app_info.h"
#include "text/utf.h"
#include "win32/error_text.h"
#include "win32/system_library.h"

std::string os_error_text(DWORD code) {
    wchar_t* buffer = nullptr;
    // WinHTTP's codes (12000-12999) have their texts in winhttp.dll, not in
    // the system's table.
    const HMODULE winhttp =
        code >= 12000 && code < 13000 ? ::GetModuleHandleW(L"winhttp.dll") : nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
            FORMAT_MESSAGE_IGNORE_INSERTS | (winhttp ? FORMAT_MESSAGE_FROM_HMODULE : 0),
        winhttp, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
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

Failure last_os_failure() {
    return os_failure(::GetLastError());
}

WindowsVersion windows_version() {
    using GetVersion = LONG WINAPI(OSVERSIONINFOW*);
    const auto get = reinterpret_cast<GetVersion*>(reinterpret_cast<void (*)()>(
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (get != nullptr) get(&info);
    return {info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber};
}

Result<FileIdentity> file_identity(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(file, &info)) return last_os_failure();
    FileIdentity identity;
    identity.size = std::uint64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow;
    identity.last_write = std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32 |
                          info.ftLastWriteTime.dwLowDateTime;
    FILE_ID_INFO id;
    if (::GetFileInformationByHandleEx(file, FileIdInfo, &id, sizeof id)) {
        identity.volume = id.VolumeSerialNumber;
        std::memcpy(identity.id.data(), id.FileId.Identifier, sizeof identity.id);
    } else {
        identity.volume = info.dwVolumeSerialNumber;
        identity.id[0] = std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow;
    }
    return identity;
}

void fail_to_spawn_thread() {
    ::MessageBoxW(nullptr, to_wide("failed to spawn thread").c_str(),
                  to_wide(app::kAppName.c_str()).c_str(), MB_OK | MB_ICONERROR);
    ::ExitProcess(101);
}

namespace {

// The system's temporary directory.
Result<std::wstring> temporary_directory() {
    // Newer systems have GetTempPath2W; older ones (and Wine 8) only the first.
    const auto newer = newer_kernel32_function<DWORD WINAPI(DWORD, LPWSTR)>("GetTempPath2W");
    const auto ask = [newer](DWORD size, wchar_t* buffer) {
        return newer ? newer(size, buffer) : ::GetTempPathW(size, buffer);
    };
    std::wstring path;
    DWORD needed = ask(0, nullptr);
    // The answer can grow between the two calls; ask again until it fits.
    while (needed != 0) {
        path.assign(needed, L'\0');
        const DWORD length = ask(needed, path.data());
        if (length == 0) break;
        if (length < needed) {
            path.resize(length);
            return path;
        }
        needed = length + 1;
    }
    return last_os_failure();
}

}  // namespace

Result<std::wstring> download_folder() {
    auto folder = temporary_directory();
    if (!folder.ok()) return folder;
    std::wstring& path = folder.value();
    if (path.empty() || path.back() != L'\\') path += L'\\';
    path += to_wide(app::kDownloadFolder.c_str());
    return folder;
}
