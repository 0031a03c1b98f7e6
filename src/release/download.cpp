#include "release/download.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "release/http_get.h"
#include "release/installer.h"
#include "release/release_rules.h"
#include "text/utf.h"
#include "ui/window.h"
#include "win32/handles.h"
#include "win32/system.h"

namespace {

bool is_directory(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool create_or_find_folder(const std::wstring& path, DWORD& error) {
    if (::CreateDirectoryW(path.c_str(), nullptr)) return true;
    error = ::GetLastError();
    return error == ERROR_ALREADY_EXISTS && is_directory(path);
}

// The folder above `path`, or nothing at a drive root or a bare name.
std::optional<std::wstring> parent_folder(std::wstring path) {
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    const auto cut = path.find_last_of(L'\\');
    if (cut == std::wstring::npos || cut == 0) return std::nullopt;
    path.resize(cut);
    if (path.size() == 2 && path[1] == L':')
        path.push_back(L'\\');  // "C:" means the current folder
    return path;
}

// Writes the whole body; a write that stores nothing is a failure of its own.
std::optional<std::string> write_all(HANDLE file, const Body& body) {
    const char* next = body.data();
    std::size_t left = body.size();
    while (left > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(left, 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(file, next, chunk, &written, nullptr)) {
            return os_error_text(::GetLastError());
        }
        if (written == 0) return std::string("failed to write whole buffer");
        next += written;
        left -= written;
    }
    return std::nullopt;
}

void fail(HWND window, std::string message) {
    post_worker_message(window, {WorkerMessage::Failed{std::move(message)}});
}

// The system's temporary directory, or the error code when it has none.
struct TempDirectory {
    std::wstring path;
    DWORD error = 0;
};

TempDirectory temporary_directory() {
    using GetTempPath2 = DWORD(WINAPI*)(DWORD, LPWSTR);
    // Newer systems have GetTempPath2W; older ones (and Wine 8) only the first.
    const auto newer = reinterpret_cast<GetTempPath2>(reinterpret_cast<void (*)()>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetTempPath2W")));
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
            return {std::move(path), 0};
        }
        needed = length + 1;
    }
    return {{}, ::GetLastError()};
}

// Creates `folder` and every missing parent. The outcome is not reported:
// a problem here shows up when the file is created.
void create_folder_chain(const std::wstring& folder) {
    std::vector<std::wstring> missing;
    std::wstring current = folder;
    DWORD error = 0;
    while (!create_or_find_folder(current, error)) {
        if (error != ERROR_PATH_NOT_FOUND && error != ERROR_FILE_NOT_FOUND) return;
        auto parent = parent_folder(current);
        if (!parent) return;
        missing.push_back(std::move(current));
        current = std::move(*parent);
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (!create_or_find_folder(*it, error)) return;
    }
}

}  // namespace

void start_download_and_install(HWND window, std::string version, std::string setup_url) {
    spawn_detached([window, version = std::move(version), url = std::move(setup_url)]() mutable {
        download_and_install(window, std::move(version), std::move(url));
    });
}

void download_and_install(HWND window, std::string version, std::string setup_url) {
    if (!version_is_safe_in_file_name(version)) {
        fail(window, os_error_text(ERROR_INVALID_NAME));
        return;
    }
    const TempDirectory temp = temporary_directory();
    if (temp.path.empty()) {
        fail(window, os_error_text(temp.error));
        return;
    }
    const std::wstring folder = join_path(temp.path, to_wide(kDownloadFolder));
    create_folder_chain(folder);
    std::wstring setup_path = join_path(folder, to_wide(setup_file_name(version)));

    const ProgressSink sink{window};
    auto body = http_get(setup_url, &sink);
    if (!body.ok()) {
        // Nothing is created before the body is complete, so an earlier file
        // of the same name stays as it was.
        fail(window, std::move(body.error()));
        return;
    }
    {
        const HANDLE created =
            ::CreateFileW(setup_path.c_str(), GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (created == INVALID_HANDLE_VALUE) {
            fail(window, os_error_text(::GetLastError()));
            return;
        }
        const UniqueHandle file(created);
        if (auto error = write_all(file.get(), body.value())) {
            fail(window, std::move(*error));
            return;
        }
    }
    body = Body{};  // freed before the installer runs
    run_installer(window, std::move(setup_path), std::move(version));
}
