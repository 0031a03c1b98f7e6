#pragma once

#include <windows.h>

#include <cstdint>

// Starts a detached thread that fetches the release manifest and posts one
// Ready or Failed message, carrying the check's number, to the window.
void start_update_check(HWND window, std::uint32_t check);

// The thread's whole work.
void run_update_check(HWND window, std::uint32_t check);
