#include "release/installer.h"

#include <utility>

#include "release/installer_rules.h"
#include "ui/worker_channel.h"
#include "win32/handles.h"
#include "win32/system.h"

namespace {

// Starts the setup program and waits for it: its exit code, or the error.
Result<DWORD> run_and_wait(const std::wstring& setup_path) {
    WideText command_line = installer_command_line(setup_path);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(setup_path.c_str(), command_line.data(), nullptr, nullptr, FALSE,
                          CREATE_NO_WINDOW, nullptr, nullptr, &startup, &started)) {
        return os_failure(::GetLastError());
    }
    const ProcessHandles process{UniqueHandle(started.hProcess), UniqueHandle(started.hThread)};
    if (::WaitForSingleObject(process.process.get(), INFINITE) != WAIT_OBJECT_0) {
        return os_failure(::GetLastError());
    }
    DWORD exit_code = 0;
    if (!::GetExitCodeProcess(process.process.get(), &exit_code)) {
        return os_failure(::GetLastError());
    }
    return exit_code;
}

}  // namespace

void run_installer(HWND window, std::wstring setup_path, std::string version) {
    post_worker_message(window,
                        {WorkerMessage::Status{"Installing", "Finishing setup...", 1.0f, true}});
    auto exit_code = run_and_wait(setup_path);
    if (!exit_code.ok()) {
        post_failure(window, std::move(exit_code.error()));
    } else if (exit_code.value() != 0) {
        post_failure(window, installer_exit_text(exit_code.value()));
    } else {
        post_worker_message(window, {WorkerMessage::Installed{std::move(version)}});
    }
}
