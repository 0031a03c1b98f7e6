// The one channel by which workers report to the window. Each report is a
// WorkerMessage in a heap block, pushed onto the window's inbox, a lock-free
// list; WM_WORKER only wakes the window to take what is there. So a message
// that anyone can post carries nothing the window trusts, and a full message
// queue delays reports but never loses one.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "report/worker_message.h"

inline constexpr UINT WM_WORKER = WM_APP + 1;
static_assert(WM_WORKER == 0x8001);

struct Inbox;

// A window's inbox together with its handle. The window opens it; each worker
// it starts holds a copy. Whichever lets go last frees the inbox with any
// report still in it.
class WorkerChannel {
public:
    // UI thread: a new, empty inbox for `window`.
    [[nodiscard]] static WorkerChannel open(HWND window);

    WorkerChannel(const WorkerChannel& other);
    WorkerChannel& operator=(const WorkerChannel&) = delete;
    ~WorkerChannel();

    [[nodiscard]] HWND window() const { return window_; }

    // UI thread, on WM_WORKER: every report pushed since the last call, in the
    // order they were pushed.
    [[nodiscard]] std::vector<WorkerMessage> take() const;

    // UI thread, when the window is destroyed: reports still waiting are freed
    // now, and later ones are freed by their senders.
    void close() const;

private:
    WorkerChannel(HWND window, Inbox* inbox) : window_(window), inbox_(inbox) {}

    friend void post_worker_message(const WorkerChannel& channel, WorkerMessage message);

    HWND window_;
    Inbox* inbox_;
};

// Callable from any thread but the window's own. Pushes the report and wakes
// the window when the inbox was empty; a wake refused by a full queue is sent
// again until it lands or the window is gone.
void post_worker_message(const WorkerChannel& channel, WorkerMessage message);

// How every worker reports a failed step: "Download failed" with `message`;
// an update check gives its number.
void post_failure(const WorkerChannel& channel, std::string message, std::uint32_t check = 0);
