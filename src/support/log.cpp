#include "support/log.h"

#include <atomic>
#include <string>

#include "app_info.h"
#include "base/decimal.h"
#include "support/log_line.h"
#include "text/utf.h"
#include "win32/system.h"

namespace {

constexpr std::uint64_t kRotateAbove = 1024 * 1024;

// The open log's handle, read by every thread; null when there is none.
std::atomic<HANDLE> open_log{nullptr};

HANDLE open_and_rotate() {
    auto temp = temporary_directory();
    if (!temp.ok()) return INVALID_HANDLE_VALUE;
    // The temporary directory's name ends in a backslash.
    const std::wstring folder = temp.value() + to_wide(app::kDownloadFolder.c_str()) + L"\\";
    ::CreateDirectoryW(folder.c_str(), nullptr);  // or it is there already
    const std::wstring path = folder + L"bootstrapper.log";
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) &&
        ((std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow) > kRotateAbove) {
        ::MoveFileExW(path.c_str(), (folder + L"bootstrapper.old.log").c_str(),
                      MOVEFILE_REPLACE_EXISTING);
    }
    // Appending only: every WriteFile lands whole at the end, also from a
    // second run at the same time. Support tools may read it meanwhile.
    return ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// "Windows 10.0 build 19045": the version the system reports to itself, not
// the one compatibility settings would show.
std::string windows_version() {
    using GetVersion = LONG WINAPI(OSVERSIONINFOW*);
    const auto get = reinterpret_cast<GetVersion*>(reinterpret_cast<void (*)()>(
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (get == nullptr || get(&info) != 0) return "Windows (version unknown)";
    return "Windows " + decimal(info.dwMajorVersion) + "." + decimal(info.dwMinorVersion) +
           " build " + decimal(info.dwBuildNumber);
}

}  // namespace

SupportLog::SupportLog(std::string_view version) : file_(open_and_rotate()) {
    if (!file_) return;
    open_log.store(file_.get());
    log_event("start " + std::string(app::kAppName.c_str()) + " " + std::string(version) + " on " +
              windows_version());
}

SupportLog::~SupportLog() {
    log_event("end");
    open_log.store(nullptr);
}

void log_event(std::string_view text) {
    const HANDLE file = open_log.load();
    if (file == nullptr) return;
    SYSTEMTIME now;
    ::GetSystemTime(&now);
    const std::string line = log_line(
        {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds},
        ::GetCurrentProcessId(), ::GetCurrentThreadId(), text);
    DWORD written = 0;
    ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}
