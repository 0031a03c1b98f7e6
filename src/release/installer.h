#pragma once

#include <windows.h>

#include <string>

// Runs the stored setup program silently ("/S /R"), waits for it, and posts
// Installed or Failed.
void run_installer(HWND window, std::wstring setup_path, std::string version);
