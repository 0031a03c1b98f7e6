#pragma once

#include <windows.h>

#include <string>

// Starts the download-and-install worker on a detached thread that owns its
// copies of the version text and the setup URL.
void start_download_and_install(HWND window, std::string version, std::string setup_url);

// The worker: fetch the setup program, store it under the temporary
// directory, run it, and post the outcome.
void download_and_install(HWND window, std::string version, std::string setup_url);
