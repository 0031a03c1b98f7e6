#include "win_test_support.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>
#include <utility>

#include "app_info.h"
#include "report/worker_channel.h"
#include "text/utf.h"
#include "ui/window.h"
#include "win32/handles.h"

namespace {
std::atomic<std::ptrdiff_t> g_live{0};
}

void* operator new(std::size_t size) {
    void* p = std::malloc(size != 0 ? size : 1);
    if (p == nullptr) throw std::bad_alloc();
    ++g_live;
    return p;
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete(void* p) noexcept {
    if (p == nullptr) return;
    --g_live;
    std::free(p);
}
void operator delete[](void* p) noexcept {
    operator delete(p);
}
void operator delete(void* p, std::size_t) noexcept {
    operator delete(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    operator delete(p);
}

std::ptrdiff_t live_allocations() {
    return g_live.load();
}

bool pump_until(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
            if (done()) return true;
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return true;
}

void register_test_window_class() {
    static const bool registered = [] {
        static const WideText name = to_wide(app::kWindowClass.c_str());
        WNDCLASSW window_class{};
        window_class.lpfnWndProc = window_proc;
        window_class.hInstance = ::GetModuleHandleW(nullptr);
        window_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        window_class.lpszClassName = name.c_str();
        return ::RegisterClassW(&window_class) != 0;
    }();
    (void)registered;
}

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

MessageCollector::MessageCollector() {
    static const bool registered = [] {
        WNDCLASSW window_class{};
        window_class.lpfnWndProc = procedure;
        window_class.hInstance = ::GetModuleHandleW(nullptr);
        window_class.lpszClassName = L"VantrelTestCollector";
        return ::RegisterClassW(&window_class) != 0;
    }();
    (void)registered;
    window_ = ::CreateWindowExW(0, L"VantrelTestCollector", L"", WS_POPUP, 0, 0, 1, 1, nullptr,
                                nullptr, ::GetModuleHandleW(nullptr), this);
    channel_.emplace(WorkerChannel::open(window_));
}

MessageCollector::~MessageCollector() {
    (void)drain();
    ::DestroyWindow(window_);
}

std::vector<WorkerMessage> MessageCollector::drain() {
    MSG message;
    while (::PeekMessageW(&message, window_, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
    return std::exchange(messages_, {});
}

LRESULT CALLBACK MessageCollector::procedure(HWND window, UINT message, WPARAM wparam,
                                             LPARAM lparam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    if (message == WM_WORKER) {
        auto* self =
            reinterpret_cast<MessageCollector*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        self->channel_->take(
            [self](WorkerMessage report) { self->messages_.push_back(std::move(report)); });
        return 0;
    }
    return ::DefWindowProcW(window, message, wparam, lparam);
}

int server_requests(const std::string& line) {
    const std::string log = read_file(wine_path(environment("VANTREL_SERVER_LOG")));
    int count = 0;
    for (std::size_t at = 0; at < log.size();) {
        const std::size_t end = std::min(log.find('\n', at), log.size());
        if (log.compare(at, end - at, line) == 0) ++count;
        at = end + 1;
    }
    return count;
}

std::wstring wine_path(const std::string& unix_path) {
    std::wstring path = L"Z:";
    for (const char c : unix_path) path.push_back(c == '/' ? L'\\' : static_cast<wchar_t>(c));
    return path;
}

void write_release_file(const std::string& relative_path, const std::string& bytes) {
    const std::string root = environment("VANTREL_RELEASE_DIR");
    const std::wstring path = wine_path(root + "/" + relative_path);
    // Parents first, so that nested release paths can be written.
    for (std::size_t at = 3; (at = path.find(L'\\', at)) != std::wstring::npos; ++at) {
        ::CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    }
    write_file(path, bytes);
}

void write_file(const std::wstring& path, const std::string& bytes) {
    const HANDLE created = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (created == INVALID_HANDLE_VALUE) std::abort();
    const UniqueHandle file(created);
    DWORD written = 0;
    ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::string read_file(const std::wstring& path) {
    const HANDLE opened =
        ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return {};
    const UniqueHandle file(opened);
    std::string bytes;
    char buffer[65536];
    DWORD read = 0;
    while (::ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
        bytes.append(buffer, read);
    }
    return bytes;
}

bool file_exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
