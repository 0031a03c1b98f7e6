// The one channel by which workers report to the window: each report is a
// WorkerMessage in a heap block posted as WM_WORKER, applied on the UI thread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "ui/window_state.h"

inline constexpr UINT WM_WORKER = WM_APP + 1;
static_assert(WM_WORKER == 0x8001);

// Callable from any thread. The window takes the message over once posted;
// when the post fails (the window is gone) the message is freed here.
void post_worker_message(HWND window, WorkerMessage message);

// How every worker reports a failed step: "Download failed" with `message`;
// an update check gives its number.
void post_failure(HWND window, std::string message, std::uint32_t check = 0);

// The state attached at WM_NCCREATE, or null before it and after WM_DESTROY.
[[nodiscard]] WindowState* attached_state(HWND window);

// WM_WORKER: applies the posted message and frees it, always.
void apply_worker_message(HWND window, WPARAM block);
