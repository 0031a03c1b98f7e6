#include "release/installer.h"

#include <shellapi.h>

#include <utility>

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

// Starts the setup program and waits for it: its exit code, or the error.
// `held` keeps the checked file from being changed until the process has
// started from it.
Result<DWORD> run_and_wait(HWND window, const std::wstring& setup_path,
                           const ProcessLauncher& launcher, UniqueFile held) {
    auto process = launcher.start(setup_path);
    const bool elevated = !process.ok() && process.os_error() == kElevationRequired;
    if (elevated) process = launcher.start_elevated(window, setup_path);
    held = {};  // started, or not at all: the file is free again
    if (!process.ok()) return process.take_failure();
    log_event(elevated ? "installer started, elevated" : "installer started");
    if (::WaitForSingleObject(process.value().get(), INFINITE) != WAIT_OBJECT_0) {
        return last_os_failure();
    }
    DWORD exit_code = 0;
    if (!::GetExitCodeProcess(process.value().get(), &exit_code)) {
        return last_os_failure();
    }
    log_event("installer exit code %", {LogNumber(exit_code)});
    return exit_code;
}

}  // namespace

const ProcessLauncher kSystemLauncher{start_process, start_elevated};

void run_installer(const WorkerChannel& channel, std::wstring setup_path, std::string version,
                   const ProcessLauncher& launcher, UniqueFile held) {
    post_worker_message(channel,
                        {WorkerMessage::Status{"Installing", "Finishing setup...", 1.0f, true}});
    auto exit_code = run_and_wait(channel.window(), setup_path, launcher, std::move(held));
    if (!exit_code.ok()) {
        post_failure(channel, exit_code.take_failure());
    } else if (exit_code.value() != 0) {
        post_failure(channel, {installer_exit_text(exit_code.value())});
    } else {
        log_event("installed %", {version});
        post_worker_message(channel, {WorkerMessage::Installed{std::move(version)}});
    }
}
