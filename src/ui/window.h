// The one main window's procedure.
#pragma once

#include <windows.h>

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
