// The one main window: its procedure, and the channel by which workers report.
#pragma once

#include <windows.h>

#include "ui/window_state.h"

inline constexpr UINT WM_WORKER = WM_APP + 1;
inline constexpr const char* kWindowClass = "VantrelBootstrapperWindow";
inline constexpr const char* kWindowTitle = "Vantrel Bootstrapper";

// Callable from any thread. The window takes the message over once posted;
// when the post fails (the window is gone) the message is freed here.
void post_worker_message(HWND window, WorkerMessage message);

// The state attached at WM_NCCREATE, or null before it and after WM_DESTROY.
[[nodiscard]] WindowState* attached_state(HWND window);

// WM_WORKER: applies the posted message and frees it, always.
void apply_worker_message(HWND window, WPARAM block);

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
