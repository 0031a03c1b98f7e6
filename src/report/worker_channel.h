// The one channel by which workers report to the window. Each report is a
// WorkerMessage in a heap block, pushed onto the window's inbox, a lock-free
// list; WM_WORKER only wakes the window to take what is there. So a message
// that anyone can post carries nothing the window trusts, and a full message
// queue delays reports but never loses one.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>

#include "base/result.h"
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

    // UI thread, on WM_WORKER: hands `each` every report pushed since the last
    // call, in the order they were pushed.
    template <class Each>
    void take(Each each) const {
        take_each([](void* context,
                     WorkerMessage& report) { (*static_cast<Each*>(context))(std::move(report)); },
                  &each);
    }

    // UI thread, when the window is destroyed: reports still waiting are freed
    // now, and later ones are freed by their senders.
    void close() const;

private:
    WorkerChannel(HWND window, Inbox* inbox) : window_(window), inbox_(inbox) {}
    void take_each(void (*each)(void* context, WorkerMessage& report), void* context) const;

    friend void post_worker_message(const WorkerChannel& channel, WorkerMessage message);

    HWND window_;
    Inbox* inbox_;
};

// Callable from any thread but the window's own. Pushes the report and wakes
// the window when the inbox was empty; a wake refused by a full queue is sent
// again until it lands or the window is gone.
void post_worker_message(const WorkerChannel& channel, WorkerMessage message);

// How every worker reports a failed step: "Download failed" with the
// failure's sentence, and in the log its system code too; an update check
// gives its number.
void post_failure(const WorkerChannel& channel, Failure failure, std::uint32_t check = 0);
