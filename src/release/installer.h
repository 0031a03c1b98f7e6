#pragma once

#include <windows.h>

#include <string>

#include "base/result.h"
#include "report/worker_channel.h"
#include "win32/handles.h"

// How a setup program is started: as a child process, and, for a setup whose
// manifest asks for administrator rights, through the shell's elevation
// prompt. A test puts its own pair in.
struct ProcessLauncher {
    Result<UniqueHandle> (*start)(const std::wstring& setup_path);
    Result<UniqueHandle> (*start_elevated)(HWND owner, const std::wstring& setup_path);
};

// The system's own: CreateProcessW, and ShellExecuteExW with "runas".
extern const ProcessLauncher kSystemLauncher;

// Runs the stored setup program silently ("/S /R"), waits for it, and posts
// Installed or Failed. A setup that needs elevation (ERROR_ELEVATION_REQUIRED)
// is started again through the elevation prompt, owned by the window.
// `held`, the checked file held open against writers, is closed once the
// process has started (or failed to).
void run_installer(const WorkerChannel& channel, std::wstring setup_path, std::string version,
                   const ProcessLauncher& launcher = kSystemLauncher, UniqueFile held = {});
