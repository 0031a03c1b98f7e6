// Helpers shared by the tests that run under Wine.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

// Heap blocks allocated with operator new and not yet freed, over the whole
// test process; a test compares it before and after to prove a free.
[[nodiscard]] std::ptrdiff_t live_allocations();

// Dispatches this thread's messages until `done` holds or the time is up.
bool pump_until(const std::function<bool()>& done,
                std::chrono::milliseconds limit = std::chrono::seconds(20));

// Registers the program's window class once for the test process.
void register_test_window_class();

// A value of the environment, or "" when unset.
[[nodiscard]] std::string environment(const char* name);

#include <memory>
#include <optional>
#include <vector>

#include "report/worker_channel.h"

// A plain window that keeps every WorkerMessage posted to it, in order.
class MessageCollector {
public:
    MessageCollector();
    ~MessageCollector();
    MessageCollector(const MessageCollector&) = delete;
    MessageCollector& operator=(const MessageCollector&) = delete;

    [[nodiscard]] HWND window() const { return window_; }
    [[nodiscard]] const WorkerChannel& channel() const { return *channel_; }
    // Takes what has been posted since the last call off the queue.
    [[nodiscard]] std::vector<WorkerMessage> drain();

private:
    static LRESULT CALLBACK procedure(HWND, UINT, WPARAM, LPARAM);
    HWND window_;
    std::optional<WorkerChannel> channel_;
    std::vector<WorkerMessage> messages_;
};

// Files the update server serves: under its release folder, through Wine's
// Z: drive. Paths are relative, with "/".
void write_release_file(const std::string& relative_path, const std::string& bytes);
void write_file(const std::wstring& path, const std::string& bytes);
[[nodiscard]] std::string read_file(const std::wstring& path);
[[nodiscard]] bool file_exists(const std::wstring& path);
// How many lines of the update server's request log read `line` exactly
// ("GET /path").
[[nodiscard]] int server_requests(const std::string& line);
// A Linux path as Wine sees it (Z:\...).
[[nodiscard]] std::wstring wine_path(const std::string& unix_path);
