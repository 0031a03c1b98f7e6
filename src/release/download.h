#pragma once

#include <windows.h>

#include <string>

// Starts the download-and-install worker on a detached thread that owns its
// copies of the version text and the setup URL.
void start_download_and_install(HWND window, std::string version, std::string setup_url);

// The worker: fetch the setup program, store it under the temporary
// directory, run it, and post the outcome.
void download_and_install(HWND window, std::string version, std::string setup_url);

// The system's temporary directory, or the error code when it has none.
struct TempDirectory {
    std::wstring path;
    DWORD error = 0;
};
[[nodiscard]] TempDirectory temporary_directory();

// Creates `folder` and every missing parent; the outcome is not reported,
// since a problem here shows up when the file is created.
void create_folder_chain(const std::wstring& folder);
