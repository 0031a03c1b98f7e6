// Small shared platform helpers: the system's error text and detached threads.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "base/result.h"
#include "win32/handles.h"

// "{} (os error {})" with the system's message text for `code`.
[[nodiscard]] std::string os_error_text(DWORD code);

// A failure for a system error code: its text, and the code itself.
[[nodiscard]] Failure os_failure(DWORD code);
// The same for the calling thread's last error (GetLastError).
[[nodiscard]] Failure last_os_failure();

// The program's own folder in the system's temporary directory, where the
// setup is stored and the log kept: <temp>\VantrelBootstrapper, made or not.
[[nodiscard]] Result<std::wstring> download_folder();

// The version the system reports to itself (RtlGetVersion), not the one
// compatibility settings would show; zeros when it cannot be read.
struct WindowsVersion {
    DWORD major = 0, minor = 0, build = 0;
};
[[nodiscard]] WindowsVersion windows_version();

// What tells an open file from another, and from itself changed: its volume,
// its ID on that volume, its size and its last-write time.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::array<std::uint64_t, 2> id{};
    std::uint64_t size = 0;
    std::uint64_t last_write = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};
// The 128-bit file ID where the system has it (FileIdInfo, Windows 8 on),
// else the 64-bit file index, which ReFS does not keep unique.
[[nodiscard]] Result<FileIdentity> file_identity(HANDLE file);

// Shows "failed to spawn thread" and ends the process with a non-zero code.
[[noreturn]] void fail_to_spawn_thread();

// Runs `work` on a new detached thread that owns it. Nobody waits for it.
template <class Work>
void spawn_detached(Work work) {
    auto owned = std::make_unique<Work>(std::move(work));
    const auto entry = [](void* parameter) -> DWORD {
        std::unique_ptr<Work> mine(static_cast<Work*>(parameter));
        (*mine)();
        return 0;
    };
    const UniqueHandle thread(::CreateThread(nullptr, 0, entry, owned.get(), 0, nullptr));
    if (!thread) fail_to_spawn_thread();
    owned.release();  // the thread frees it
}
