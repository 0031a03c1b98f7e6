#pragma once

#include <windows.h>

// Starts a detached thread that fetches the release manifest and posts one
// Ready or Failed message to the window.
void start_update_check(HWND window);

// The thread's whole work.
void run_update_check(HWND window);
