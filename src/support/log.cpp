#include "support/log.h"

#include <atomic>
#include <charconv>
#include <string>

#include "app_info.h"
#include "support/log_line.h"
#include "text/utf.h"
#include "win32/system.h"

namespace {

constexpr DWORD kRotateAbove = 1024 * 1024;

// The open log's handle, read by every thread; null when there is none.
std::atomic<HANDLE> open_log{nullptr};

HANDLE open_and_rotate() {
    auto found = download_folder();
    if (!found.ok()) return INVALID_HANDLE_VALUE;
    std::wstring& folder = found.value();
    ::CreateDirectoryW(folder.c_str(), nullptr);  // or it is there already
    std::wstring path = folder;
    path += L"\\bootstrapper.log";
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) &&
        (data.nFileSizeHigh != 0 || data.nFileSizeLow > kRotateAbove)) {
        folder += L"\\bootstrapper.old.log";
        ::MoveFileExW(path.c_str(), folder.c_str(), MOVEFILE_REPLACE_EXISTING);
    }
    // Appending only: every WriteFile lands whole at the end, also from a
    // second run at the same time. Support tools may read it meanwhile.
    return ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

void open_support_log(std::string_view version, std::string_view note) {
    const HANDLE file = open_and_rotate();
    if (file == INVALID_HANDLE_VALUE) return;
    open_log.store(file);
    const WindowsVersion windows = windows_version();
    log_event("start % % on Windows %.% build %%",
              {app::kAppName.c_str(), version, LogNumber(windows.major), LogNumber(windows.minor),
               LogNumber(windows.build), note});
}

LogNumber::LogNumber(std::uint64_t value, bool hex)
    : size_(static_cast<std::size_t>(
          std::to_chars(digits_, digits_ + sizeof digits_, value, hex ? 16 : 10).ptr - digits_)) {
    if (hex) {
        for (std::size_t i = 0; i < size_; ++i) {
            if (digits_[i] >= 'a') digits_[i] = static_cast<char>(digits_[i] - 'a' + 'A');
        }
    }
}

void log_event(const char* text, std::initializer_list<std::string_view> values) {
    const HANDLE file = open_log.load();
    if (file == nullptr) return;
    std::string filled;
    const std::string_view* value = values.begin();
    for (; *text != '\0'; ++text) {
        if (*text == '%' && value != values.end()) {
            filled += *value++;
        } else {
            filled += *text;
        }
    }
    SYSTEMTIME now;
    ::GetSystemTime(&now);
    const std::string line = log_line(
        {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds},
        ::GetCurrentProcessId(), ::GetCurrentThreadId(), filled);
    DWORD written = 0;
    ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}
