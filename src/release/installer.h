#pragma once

#include <windows.h>

#include <string>

#include "base/result.h"
#include "release/installer_rules.h"
#include "report/worker_channel.h"
#include "win32/handles.h"

// How a setup program is started: as a child process, and, for a setup whose
// manifest asks for administrator rights, through the shell's elevation
// prompt; and how long the setup may run before the window stops waiting for
// it. A test puts its own in.
struct ProcessLauncher {
    Result<UniqueHandle> (*start)(const std::wstring& setup_path);
    Result<UniqueHandle> (*start_elevated)(HWND owner, const std::wstring& setup_path);
    DWORD time_limit_ms = kSetupTimeLimitMs;
};

// The system's own: CreateProcessW, and ShellExecuteExW with "runas".
extern const ProcessLauncher kSystemLauncher;

// Runs the stored setup program silently ("/S /R"), waits for it, and posts
// Installed or Failed as its exit code says (starting it again while another
// installation runs), then deletes it after an install. A setup that needs
// elevation (ERROR_ELEVATION_REQUIRED) is started again through the elevation
// prompt, owned by the window. `held`, the checked file held open against
// writers, stays open until the last start has ended, so that every start
// runs the file that was checked.
void run_installer(const WorkerChannel& channel, std::wstring setup_path, std::string version,
                   const ProcessLauncher& launcher = kSystemLauncher, UniqueFile held = {});
