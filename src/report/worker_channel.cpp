#include "ui/worker_channel.h"

#include <memory>
#include <utility>

void post_worker_message(HWND window, WorkerMessage message) {
    auto block = std::make_unique<WorkerMessage>(std::move(message));
    if (::PostMessageW(window, WM_WORKER, reinterpret_cast<WPARAM>(block.get()), 0)) {
        block.release();  // the window procedure frees it
    }
}

void post_failure(HWND window, std::string message, std::uint32_t check) {
    post_worker_message(window, {WorkerMessage::Failed{std::move(message)}, check});
}

WindowState* attached_state(HWND window) {
    return reinterpret_cast<WindowState*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

void apply_worker_message(HWND window, WPARAM block) {
    std::unique_ptr<WorkerMessage> message(reinterpret_cast<WorkerMessage*>(block));
    WindowState* state = attached_state(window);
    if (state == nullptr) return;
    update_window_state(*state, std::move(*message));
    ::InvalidateRect(window, nullptr, TRUE);
}
