// The transfer benchmark, a Windows program run under Wine by bench/run.sh.
//
//   transfer_bench speed URL ROUNDS    our http_get (with a progress window)
//                                      and a bare WinHTTP loop, alternating
//   transfer_bench memory ours|bare URL  one transfer, then this process's
//                                      peak memory
//
// URL is a /big/<N> address of the local update server; every body is checked
// against the server's pattern (byte i is i*7 mod 251) after the clock stops.
// Prints one "key value..." line per result for run.sh to read.
// windows.h first: psapi.h relies on its types.
#include <windows.h>

#include <psapi.h>
#include <winhttp.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "release/http_get.h"
#include "release/http_rules.h"
#include "report/worker_channel.h"
#include "text/utf.h"
#include "win32/handles.h"

namespace {

constexpr UINT WM_TRANSFER_DONE = WM_APP + 2;

struct Sink {
    HWND window = nullptr;
    std::optional<WorkerChannel> channel;
    std::uint64_t progress_messages = 0;
    float last_fraction = 0.0f;
};

// Takes the reports on WM_WORKER exactly as the program's window does.
LRESULT CALLBACK sink_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_WORKER: {
            auto* sink = reinterpret_cast<Sink*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
            sink->channel->take([sink](WorkerMessage report) {
                if (const auto* p = std::get_if<WorkerMessage::Progress>(&report.body)) {
                    ++sink->progress_messages;
                    sink->last_fraction = p->fraction;
                }
            });
            return 0;
        }
        case WM_TRANSFER_DONE:
            ::PostQuitMessage(0);
            return 0;
        default:
            return ::DefWindowProcW(window, message, wparam, lparam);
    }
}

enum class Client { kOurs, kBare };

struct Transfer {
    Transfer(Client c, std::string u, const Sink& s) : client(c), url(std::move(u)), sink(s) {}
    Client client;
    std::string url;
    const Sink& sink;
    double seconds = 0;
    Body ours;               // what http_get gave
    std::vector<char> body;  // what the bare loop read
    std::string error;

    [[nodiscard]] std::string_view bytes() const {
        return client == Client::kOurs ? std::string_view(ours.data(), ours.size())
                                       : std::string_view(body.data(), body.size());
    }
};

double now_seconds() {
    LARGE_INTEGER count, frequency;
    ::QueryPerformanceCounter(&count);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The plainest WinHTTP download: no reservation, no progress, no length check.
bool bare_get(const std::string& url, std::vector<char>& body, std::string& error) {
    const Result<HttpUrl> parsed = parse_http_url(url);
    if (!parsed.ok()) {
        error = parsed.error();
        return false;
    }
    const HttpUrl& u = parsed.value();
    const UniqueInternet session(::WinHttpOpen(L"Bench", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                               WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    const UniqueInternet connection(
        session ? ::WinHttpConnect(session.get(), to_wide(u.host).c_str(), u.port, 0) : nullptr);
    const UniqueInternet request(
        connection ? ::WinHttpOpenRequest(connection.get(), L"GET", to_wide(u.path).c_str(),
                                          nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                          u.secure ? WINHTTP_FLAG_SECURE : 0)
                   : nullptr);
    if (!request ||
        !::WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                              WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !::WinHttpReceiveResponse(request.get(), nullptr)) {
        error = "request failed, error " + std::to_string(::GetLastError());
        return false;
    }
    for (;;) {
        DWORD available = 0;
        if (!::WinHttpQueryDataAvailable(request.get(), &available)) {
            error = "query failed, error " + std::to_string(::GetLastError());
            return false;
        }
        if (available == 0) return true;
        const std::size_t before = body.size();
        body.resize(before + available);
        DWORD read = 0;
        if (!::WinHttpReadData(request.get(), body.data() + before, available, &read)) {
            error = "read failed, error " + std::to_string(::GetLastError());
            return false;
        }
        body.resize(before + read);
    }
}

DWORD WINAPI transfer_thread(void* parameter) {
    auto* t = static_cast<Transfer*>(parameter);
    const double start = now_seconds();
    if (t->client == Client::kOurs) {
        const ProgressSink sink{*t->sink.channel};
        Result<Body> got = http_get(t->url, &sink);
        t->seconds = now_seconds() - start;
        if (got.ok()) {
            t->ours = std::move(got.value());
        } else {
            t->error = got.error();
        }
    } else {
        bare_get(t->url, t->body, t->error);
        t->seconds = now_seconds() - start;
    }
    ::PostMessageW(t->sink.window, WM_TRANSFER_DONE, 0, 0);
    return 0;
}

// Runs one transfer on a worker thread while this thread pumps the window's
// messages, as the program does.
void run_transfer(Transfer& t) {
    const HANDLE thread = ::CreateThread(nullptr, 0, transfer_thread, &t, 0, nullptr);
    if (thread == nullptr) {
        std::fprintf(stderr, "CreateThread failed\n");
        std::exit(1);
    }
    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) ::DispatchMessageW(&message);
    ::WaitForSingleObject(thread, INFINITE);
    ::CloseHandle(thread);
}

std::uint64_t expected_size(const std::string& url) {
    const auto at = url.rfind("/big/");
    return at == std::string::npos ? 0 : std::strtoull(url.c_str() + at + 5, nullptr, 10);
}

void require_pattern(const Transfer& t, std::uint64_t size) {
    const char* who = t.client == Client::kOurs ? "ours" : "bare";
    if (!t.error.empty()) {
        std::fprintf(stderr, "%s: %s\n", who, t.error.c_str());
        std::exit(1);
    }
    if (t.bytes().size() != size) {
        std::fprintf(stderr, "%s: %zu bytes, expected %llu\n", who, t.bytes().size(),
                     static_cast<unsigned long long>(size));
        std::exit(1);
    }
    for (std::uint64_t i = 0; i < size; ++i) {
        if (static_cast<unsigned char>(t.bytes()[i]) != (i * 7) % 251) {
            std::fprintf(stderr, "%s: byte %llu differs\n", who,
                         static_cast<unsigned long long>(i));
            std::exit(1);
        }
    }
}

void make_sink_window(Sink& sink) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = sink_proc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"VantrelBenchSink";
    ::RegisterClassW(&wc);
    const HWND window = ::CreateWindowExW(0, wc.lpszClassName, L"bench sink", WS_OVERLAPPED, 0, 0,
                                          100, 100, nullptr, nullptr, wc.hInstance, nullptr);
    if (window == nullptr) {
        std::fprintf(stderr, "CreateWindowExW failed\n");
        std::exit(1);
    }
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&sink));
    sink.window = window;
    sink.channel.emplace(WorkerChannel::open(window));
}

int speed(const std::string& url, int rounds) {
    Sink sink;
    make_sink_window(sink);
    const std::uint64_t size = expected_size(url);
    // TLS and the rest of WinHTTP are loaded once per process: pay that
    // before the clock matters, for both clients alike.
    const std::string warm = url.substr(0, url.rfind("/big/")) + "/big/1";
    for (Client c : {Client::kOurs, Client::kBare}) {
        Transfer t{c, warm, sink};
        run_transfer(t);
        require_pattern(t, 1);
    }
    for (int round = 0; round < rounds; ++round) {
        // Alternate which goes first, so neither always inherits a warm cache.
        const Client order[2] = {round % 2 == 0 ? Client::kOurs : Client::kBare,
                                 round % 2 == 0 ? Client::kBare : Client::kOurs};
        for (Client c : order) {
            sink.progress_messages = 0;
            Transfer t{c, url, sink};
            run_transfer(t);
            require_pattern(t, size);
            if (c == Client::kOurs) {
                std::printf("ours %.6f %zu %llu %.6f\n", t.seconds, t.bytes().size(),
                            static_cast<unsigned long long>(sink.progress_messages),
                            static_cast<double>(sink.last_fraction));
            } else {
                std::printf("bare %.6f %zu\n", t.seconds, t.bytes().size());
            }
            std::fflush(stdout);
        }
    }
    ::DestroyWindow(sink.window);
    return 0;
}

int memory(Client client, const std::string& url) {
    Sink sink;
    make_sink_window(sink);
    PROCESS_MEMORY_COUNTERS before{}, after{};
    before.cb = after.cb = sizeof(PROCESS_MEMORY_COUNTERS);
    ::K32GetProcessMemoryInfo(::GetCurrentProcess(), &before, sizeof before);
    Transfer t{client, url, sink};
    run_transfer(t);
    // Read while the body is still held: the peak is what the download cost.
    ::K32GetProcessMemoryInfo(::GetCurrentProcess(), &after, sizeof after);
    require_pattern(t, expected_size(url));
    std::printf("memory %s %zu %llu %llu %llu %llu\n", client == Client::kOurs ? "ours" : "bare",
                t.bytes().size(), static_cast<unsigned long long>(before.PeakWorkingSetSize),
                static_cast<unsigned long long>(after.PeakWorkingSetSize),
                static_cast<unsigned long long>(before.PeakPagefileUsage),
                static_cast<unsigned long long>(after.PeakPagefileUsage));
    ::DestroyWindow(sink.window);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string_view mode = argc > 1 ? argv[1] : "";
    if (mode == "speed" && argc == 4) return speed(argv[2], std::atoi(argv[3]));
    if (mode == "memory" && argc == 4) {
        const std::string_view who = argv[2];
        if (who == "ours" || who == "bare") {
            return memory(who == "ours" ? Client::kOurs : Client::kBare, argv[3]);
        }
    }
    std::fprintf(stderr,
                 "usage: transfer_bench speed URL ROUNDS | transfer_bench memory ours|bare URL\n");
    return 2;
}
