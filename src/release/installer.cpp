#include "release/installer.h"

#include <optional>
#include <utility>

#include "release/release_rules.h"
#include "ui/window.h"
#include "win32/handles.h"
#include "win32/system.h"

namespace {

// Starts the setup program and waits for it; its exit code, or the error.
struct Outcome {
    DWORD exit_code = 0;
    std::optional<DWORD> error;
};

Outcome run_and_wait(const std::wstring& setup_path) {
    WideText command_line = installer_command_line(setup_path);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(setup_path.c_str(), command_line.data(), nullptr, nullptr, FALSE,
                          CREATE_NO_WINDOW, nullptr, nullptr, &startup, &started)) {
        return {0, ::GetLastError()};
    }
    const ProcessHandles process{UniqueHandle(started.hProcess), UniqueHandle(started.hThread)};
    if (::WaitForSingleObject(process.process.get(), INFINITE) != WAIT_OBJECT_0) {
        return {0, ::GetLastError()};
    }
    DWORD exit_code = 0;
    if (!::GetExitCodeProcess(process.process.get(), &exit_code)) return {0, ::GetLastError()};
    return {exit_code, std::nullopt};
}

}  // namespace

void run_installer(HWND window, std::wstring setup_path, std::string version) {
    post_worker_message(window,
                        {WorkerMessage::Status{"Installing", "Finishing setup...", 1.0f, true}});
    const Outcome outcome = run_and_wait(setup_path);
    if (outcome.error) {
        post_worker_message(window, {WorkerMessage::Failed{os_error_text(*outcome.error)}});
    } else if (outcome.exit_code != 0) {
        post_worker_message(window,
                            {WorkerMessage::Failed{installer_exit_text(outcome.exit_code)}});
    } else {
        post_worker_message(window, {WorkerMessage::Installed{std::move(version)}});
    }
}
