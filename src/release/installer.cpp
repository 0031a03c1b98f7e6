#include "release/installer.h"

#include <shellapi.h>

#include <utility>

#include "release/held_file.h"
#include "release/installer_rules.h"
#include "support/log.h"
#include "win32/com_apartment.h"
#include "win32/system.h"
#include "win32/system_library.h"

namespace {

// Not in this compiler's headers: CreateProcessW's answer for a program whose
// manifest asks for administrator rights.
constexpr DWORD kElevationRequired = 740;

Result<UniqueHandle> start_process(const std::wstring& setup_path) {
    WideText command_line = installer_command_line(setup_path);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(setup_path.c_str(), command_line.data(), nullptr, nullptr, FALSE,
                          CREATE_NO_WINDOW, nullptr, nullptr, &startup, &started)) {
        return last_os_failure();
    }
    const UniqueHandle thread(started.hThread);
    return UniqueHandle(started.hProcess);
}

// A declined prompt fails with ERROR_CANCELLED (1223).
Result<UniqueHandle> start_elevated(HWND owner, const std::wstring& setup_path) {
    if (Status loaded = load_system_library(L"shell32.dll"); !loaded.ok()) {
        return loaded.take_failure();
    }
    const ComApartment apartment;
    const WideText parameters = to_wide(kInstallerParameters);
    SHELLEXECUTEINFOW execute{};
    execute.cbSize = sizeof execute;
    // The failure is ours to show: no box of the shell's own before it.
    execute.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    execute.hwnd = owner;  // the prompt comes to the front over the window
    execute.lpVerb = L"runas";
    execute.lpFile = setup_path.c_str();
    execute.lpParameters = parameters.c_str();
    execute.nShow = SW_HIDE;
    if (!::ShellExecuteExW(&execute)) return last_os_failure();
    UniqueHandle process(execute.hProcess);
    // An executable always gives its process; anything else is no setup.
    if (!process) return os_failure(ERROR_BAD_EXE_FORMAT);
    return process;
}

// Starts the setup program, through the elevation prompt when it asks for
// administrator rights.
Result<UniqueHandle> start_setup(HWND window, const std::wstring& setup_path,
                                 const ProcessLauncher& launcher) {
    UniqueHandle process;
    bool elevated = false;
    Status started = retry_while_held("start", [&]() -> Status {
        auto start = launcher.start(setup_path);
        elevated = !start.ok() && start.os_error() == kElevationRequired;
        if (elevated) start = launcher.start_elevated(window, setup_path);
        if (!start.ok()) return start.take_failure();
        process = std::move(start.value());
        return {};
    });
    if (!started.ok()) return started.take_failure();
    log_event(elevated ? "installer started, elevated" : "installer started");
    return process;
}

// Waits for the setup to end: its exit code, or the error.
Result<DWORD> exit_code_of(HANDLE process) {
    if (::WaitForSingleObject(process, INFINITE) != WAIT_OBJECT_0) return last_os_failure();
    DWORD exit_code = 0;
    if (!::GetExitCodeProcess(process, &exit_code)) return last_os_failure();
    log_event("installer exit code %", {LogNumber(exit_code)});
    return exit_code;
}

}  // namespace

const ProcessLauncher kSystemLauncher{start_process, start_elevated};

void run_installer(const WorkerChannel& channel, std::wstring setup_path, std::string version,
                   const ProcessLauncher& launcher, UniqueFile held) {
    post_worker_message(channel,
                        {WorkerMessage::Status{"Installing", "Finishing setup...", 1.0f, true}});
    for (unsigned tries = 1;; ++tries) {
        auto process = start_setup(channel.window(), setup_path, launcher);
        if (!process.ok()) {
            post_failure(channel, process.take_failure());
            return;
        }
        const HANDLE setup = process.value().get();
        if (::WaitForSingleObject(setup, launcher.time_limit_ms) == WAIT_TIMEOUT) {
            // Ending a setup half way could leave a broken install: it runs
            // on, and its exit code still reaches the log.
            log_event("installer still running after % ms", {LogNumber(launcher.time_limit_ms)});
            post_failure(channel, {kSetupTimedOut});
            (void)exit_code_of(setup);
            return;
        }
        auto exit_code = exit_code_of(setup);
        if (!exit_code.ok()) {
            post_failure(channel, exit_code.take_failure());
            return;
        }
        ExitOutcome outcome = exit_outcome(exit_code.value(), version, tries);
        if (outcome.end == ExitOutcome::End::start_again) {
            log_event("another installation is in progress: starting again in % ms",
                      {LogNumber(outcome.wait_ms)});
            post_worker_message(
                channel, {WorkerMessage::Status{"Installing", std::move(outcome.detail), 1.0f}});
            ::Sleep(outcome.wait_ms);
            continue;
        }
        held = {};
        if (outcome.end == ExitOutcome::End::failed) {
            post_failure(channel, {std::move(outcome.detail)});
            return;
        }
        log_event("installed %", {version});
        post_worker_message(channel, {WorkerMessage::Installed{std::move(outcome.detail)}});
        (void)retry_while_held("delete", [&]() -> Status {
            if (::DeleteFileW(setup_path.c_str())) return {};
            return last_os_failure();
        });
        return;
    }
}
