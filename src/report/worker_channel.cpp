#include "report/worker_channel.h"

#include <atomic>
#include <cstddef>
#include <memory>
#include <utility>

#include "support/log.h"

namespace {

// The list link comes first: the list hands back links, and the report is
// found from its link by a cast.
struct Report {
    explicit Report(WorkerMessage m) : message(std::move(m)) {}
    SLIST_ENTRY link{};
    WorkerMessage message;
};

// A list link taken off the inbox, back as the report that owns it.
std::unique_ptr<Report> report_of(SLIST_ENTRY* link) {
    return std::unique_ptr<Report>(reinterpret_cast<Report*>(link));
}

}  // namespace

struct Inbox {
    SLIST_HEADER reports;
    std::atomic<long> references{1};
    std::atomic<bool> closed{false};

    Inbox() { ::InitializeSListHead(&reports); }
    ~Inbox() { free_all(); }

    void free_all() {
        SLIST_ENTRY* link = ::InterlockedFlushSList(&reports);
        while (link != nullptr) {
            SLIST_ENTRY* const next = link->Next;
            report_of(link).reset();
            link = next;
        }
    }
};

static_assert(offsetof(Report, link) == 0);

WorkerChannel WorkerChannel::open(HWND window) {
    return WorkerChannel(window, new Inbox);
}

WorkerChannel::WorkerChannel(const WorkerChannel& other)
    : window_(other.window_), inbox_(other.inbox_) {
    ++inbox_->references;
}

WorkerChannel::~WorkerChannel() {
    if (--inbox_->references == 0) delete inbox_;
}

void WorkerChannel::take_each(void (*each)(void*, WorkerMessage&), void* context) const {
    // The list is last in, first out: reversed, it gives the order of pushing.
    SLIST_ENTRY* oldest = nullptr;
    for (SLIST_ENTRY* link = ::InterlockedFlushSList(&inbox_->reports); link != nullptr;) {
        SLIST_ENTRY* const next = link->Next;
        link->Next = oldest;
        oldest = link;
        link = next;
    }
    while (oldest != nullptr) {
        SLIST_ENTRY* const next = oldest->Next;
        each(context, report_of(oldest)->message);
        oldest = next;
    }
}

void WorkerChannel::close() const {
    inbox_->closed = true;
    inbox_->free_all();
}

void post_worker_message(const WorkerChannel& channel, WorkerMessage message) {
    Inbox& inbox = *channel.inbox_;
    if (inbox.closed) return;  // the window is gone: the report is freed here
    auto report = std::make_unique<Report>(std::move(message));
    // Only the push onto an empty inbox wakes the window: one wake then takes
    // every report that follows it, so a stream of progress costs the queue
    // one message at a time.
    if (::InterlockedPushEntrySList(&inbox.reports, &report.release()->link) != nullptr) return;
    while (!::PostMessageW(channel.window_, WM_WORKER, 0, 0)) {
        // Refused while the queue is full: the window frees room as it works.
        // A window that is gone has freed, or its inbox will free, the report.
        if (!::IsWindow(channel.window_)) return;
        ::Sleep(10);
    }
}

void post_failure(const WorkerChannel& channel, Failure failure, std::uint32_t check) {
    if (failure.os_error != 0) {
        log_event("failed: % (code %, 0x%)", {failure.message, LogNumber(failure.os_error),
                                              LogNumber(failure.os_error, true)});
    } else {
        log_event("failed: %", {failure.message});
    }
    post_worker_message(channel, {WorkerMessage::Failed{std::move(failure.message)}, check});
}
