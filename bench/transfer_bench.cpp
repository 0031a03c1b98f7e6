// The transfer benchmark, a Windows program run under Wine by bench/run.sh.
// Every run goes through the program's own worker, download_and_install, with
// a launcher that refuses to start the setup: the setup is fetched, stored and
// checked against SHA256, and the run ends at the launcher's refusal.
//
//   transfer_bench memory URL SHA256 SIZE TEMP        one run, then the peak
//                                                     memory it added
//   transfer_bench speed URL SHA256 SIZE TEMP ROUNDS  the worker against a bare
//                                                     WinHTTP loop into a file,
//                                                     alternating
//   transfer_bench resume URL SHA256 SIZE TEMP        one run, and how it ended
//
// TEMP becomes this process's TMP and TEMP, so the stored setup lands there.
// Prints one "key value..." line per result for run.sh to read.
// windows.h first: psapi.h relies on its types.
#include <windows.h>

#include <psapi.h>
#include <winhttp.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "net/http_rules.h"
#include "release/download.h"
#include "release/download_rules.h"
#include "report/worker_channel.h"
#include "text/utf.h"
#include "trust/checksum.h"
#include "win32/handles.h"
#include "win32/system.h"

namespace {

constexpr UINT WM_TRANSFER_DONE = WM_APP + 2;
constexpr char kVersion[] = "1.0.0";
constexpr char kRefusal[] = "Setup not started by the benchmark.";

Result<UniqueHandle> refuse(const std::wstring&) {
    return Failure{kRefusal};
}
Result<UniqueHandle> refuse_elevated(HWND, const std::wstring&) {
    return Failure{kRefusal};
}
constexpr ProcessLauncher kRefusingLauncher{refuse, refuse_elevated};

double now_seconds() {
    LARGE_INTEGER count, frequency;
    ::QueryPerformanceCounter(&count);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

[[noreturn]] void die(const char* what, const std::string& detail = {}) {
    std::fprintf(stderr, "transfer_bench: %s %s\n", what, detail.c_str());
    std::exit(1);
}

struct Sink {
    HWND window = nullptr;
    std::optional<WorkerChannel> channel;
    std::uint64_t progress_messages = 0;
    double finished = 0;        // when the final report arrived
    std::string final_failure;  // its text, when it was Failed
    bool installed = false;
};

// Takes the reports on WM_WORKER exactly as the program's window does; the
// worker's last report (Failed or Installed) stops the clock.
LRESULT CALLBACK sink_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* sink = reinterpret_cast<Sink*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
        case WM_WORKER:
            sink->channel->take([sink](WorkerMessage report) {
                if (std::holds_alternative<WorkerMessage::Progress>(report.body)) {
                    ++sink->progress_messages;
                } else if (const auto* f = std::get_if<WorkerMessage::Failed>(&report.body)) {
                    sink->finished = now_seconds();
                    sink->final_failure = f->message;
                } else if (std::holds_alternative<WorkerMessage::Installed>(report.body)) {
                    sink->finished = now_seconds();
                    sink->installed = true;
                }
            });
            return 0;
        case WM_TRANSFER_DONE:
            ::PostQuitMessage(0);
            return 0;
        default:
            return ::DefWindowProcW(window, message, wparam, lparam);
    }
}

void make_sink_window(Sink& sink) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = sink_proc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"VantrelBenchSink";
    ::RegisterClassW(&wc);
    sink.window = ::CreateWindowExW(0, wc.lpszClassName, L"bench sink", WS_OVERLAPPED, 0, 0, 100,
                                    100, nullptr, nullptr, wc.hInstance, nullptr);
    if (sink.window == nullptr) die("CreateWindowExW failed");
    ::SetWindowLongPtrW(sink.window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&sink));
    sink.channel.emplace(WorkerChannel::open(sink.window));
}

struct Job {
    Sink* sink;
    std::string url;
    std::optional<Sha256> sha256;
    std::wstring bare_file;  // empty: the program's worker; else the bare loop's file
    std::string error;
};

// The plainest WinHTTP download into a file: no progress, no length check,
// pieces as large as QueryDataAvailable offers.
void bare_get(Job& job) {
    const Result<HttpUrl> parsed = parse_http_url(job.url);
    if (!parsed.ok()) return void(job.error = parsed.error());
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
    const UniqueFile file(::CreateFileW(job.bare_file.c_str(), GENERIC_WRITE, 0, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!request || !file ||
        !::WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                              WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !::WinHttpReceiveResponse(request.get(), nullptr)) {
        job.error = "request failed, error " + std::to_string(::GetLastError());
        return;
    }
    static char buffer[1 << 20];
    for (;;) {
        DWORD available = 0;
        if (!::WinHttpQueryDataAvailable(request.get(), &available)) {
            job.error = "query failed, error " + std::to_string(::GetLastError());
            return;
        }
        if (available == 0) return;
        DWORD read = 0, written = 0;
        if (!::WinHttpReadData(request.get(), buffer, std::min<DWORD>(available, sizeof buffer),
                               &read) ||
            !::WriteFile(file.get(), buffer, read, &written, nullptr) || written != read) {
            job.error = "read or write failed, error " + std::to_string(::GetLastError());
            return;
        }
    }
}

DWORD WINAPI job_thread(void* parameter) {
    auto* job = static_cast<Job*>(parameter);
    if (job->bare_file.empty()) {
        download_and_install(*job->sink->channel, kVersion, job->url, job->sha256,
                             kRefusingLauncher);
    } else {
        bare_get(*job);
        job->sink->finished = now_seconds();
    }
    ::PostMessageW(job->sink->window, WM_TRANSFER_DONE, 0, 0);
    return 0;
}

// Runs one job on a worker thread while this thread pumps the window's
// messages, as the program does; its seconds until the final report.
double run_job(Job& job) {
    Sink& sink = *job.sink;
    sink.progress_messages = 0;
    sink.finished = 0;
    sink.final_failure.clear();
    sink.installed = false;
    const double start = now_seconds();
    const HANDLE thread = ::CreateThread(nullptr, 0, job_thread, &job, 0, nullptr);
    if (thread == nullptr) die("CreateThread failed");
    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) ::DispatchMessageW(&message);
    ::WaitForSingleObject(thread, INFINITE);
    ::CloseHandle(thread);
    if (!job.error.empty()) die("bare:", job.error);
    return sink.finished - start;
}

std::wstring stored_setup_path() {
    auto folder = download_folder();
    if (!folder.ok()) die("no download folder:", folder.error());
    return join_path(folder.value(), to_wide(setup_file_name(kVersion)));
}

// What a run left in the download folder, every stored or partial setup.
void clear_setups() {
    auto folder = download_folder();
    if (!folder.ok()) return;
    WIN32_FIND_DATAW found;
    const UniqueFind search(
        ::FindFirstFileW(join_path(folder.value(), L"Vantrel-*").c_str(), &found));
    if (!search) return;
    do {
        ::DeleteFileW(join_path(folder.value(), found.cFileName).c_str());
    } while (::FindNextFileW(search.get(), &found));
}

std::int64_t file_size(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// True when the worker got as far as starting the setup, its copy stored whole.
bool stored_whole(const Sink& sink, std::int64_t size) {
    return sink.final_failure == kRefusal && file_size(stored_setup_path()) == size;
}

void require_stored(const Sink& sink, std::int64_t size) {
    if (!stored_whole(sink, size)) {
        die("the worker ended with:", sink.installed ? "Installed" : sink.final_failure);
    }
}

void require_bare_file(const std::wstring& path, const Sha256& sha256) {
    const UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    const auto digest = file ? sha256_of_file(file.get()) : Result<Sha256>(Failure{"no file"});
    if (!digest.ok() || digest.value() != sha256) die("bare: the file is not the setup");
}

struct Args {
    std::string url;
    Sha256 sha256;
    std::int64_t size;
};

// TLS and the rest of WinHTTP are loaded once per process: a run of the
// worker with a tiny setup pays that before anything is measured.
void warm_up(Sink& sink, const Args& args) {
    Job job{&sink, args.url.substr(0, args.url.find('/', 8)) + "/big/1", std::nullopt, {}, {}};
    run_job(job);
    require_stored(sink, 1);
    clear_setups();
}

int memory(Sink& sink, const Args& args) {
    warm_up(sink, args);
    PROCESS_MEMORY_COUNTERS before{}, after{};
    before.cb = after.cb = sizeof(PROCESS_MEMORY_COUNTERS);
    ::K32GetProcessMemoryInfo(::GetCurrentProcess(), &before, sizeof before);
    Job job{&sink, args.url, args.sha256, {}, {}};
    run_job(job);
    ::K32GetProcessMemoryInfo(::GetCurrentProcess(), &after, sizeof after);
    require_stored(sink, args.size);
    clear_setups();
    std::printf("memory %lld %llu %llu %llu %llu\n", static_cast<long long>(args.size),
                static_cast<unsigned long long>(before.PeakWorkingSetSize),
                static_cast<unsigned long long>(after.PeakWorkingSetSize),
                static_cast<unsigned long long>(before.PeakPagefileUsage),
                static_cast<unsigned long long>(after.PeakPagefileUsage));
    return 0;
}

int speed(Sink& sink, const Args& args, const std::wstring& temp, int rounds) {
    warm_up(sink, args);
    const std::wstring bare_file = join_path(temp, L"bare.bin");
    for (int round = 0; round < rounds; ++round) {
        // Alternate which goes first, so neither always inherits a warm cache.
        for (int turn = 0; turn < 2; ++turn) {
            const bool ours = (round + turn) % 2 == 0;
            Job job{&sink, args.url, args.sha256, ours ? L"" : bare_file, {}};
            const double seconds = run_job(job);
            if (ours) {
                require_stored(sink, args.size);
                clear_setups();
                std::printf("ours %.6f %lld %llu\n", seconds, static_cast<long long>(args.size),
                            static_cast<unsigned long long>(sink.progress_messages));
            } else {
                // The check is one pass of the system's SHA-256 over the
                // setup, as the worker hashes it once: timed, it is the
                // yardstick for what the worker adds to the bare loop.
                const double hash_start = now_seconds();
                require_bare_file(bare_file, args.sha256);
                const double hash_seconds = now_seconds() - hash_start;
                ::DeleteFileW(bare_file.c_str());
                std::printf("bare %.6f %lld %.6f\n", seconds, static_cast<long long>(args.size),
                            hash_seconds);
            }
            std::fflush(stdout);
        }
    }
    return 0;
}

int resume(Sink& sink, const Args& args) {
    clear_setups();
    Job job{&sink, args.url, args.sha256, {}, {}};
    const double seconds = run_job(job);
    const bool whole = stored_whole(sink, args.size);
    clear_setups();
    std::printf("resume %s %.6f %s\n", whole ? "stored" : "failed", seconds,
                whole ? "" : (sink.installed ? "Installed" : sink.final_failure.c_str()));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string_view mode = argc > 1 ? argv[1] : "";
    const auto sha256 = argc > 3 ? parse_sha256(argv[3]) : std::nullopt;
    if (!sha256 || argc < 6 || argc != (mode == "speed" ? 7 : 6)) {
        std::fprintf(stderr,
                     "usage: transfer_bench memory|resume URL SHA256 SIZE TEMP\n"
                     "       transfer_bench speed URL SHA256 SIZE TEMP ROUNDS\n");
        return 2;
    }
    const Args args{argv[2], *sha256, std::strtoll(argv[4], nullptr, 10)};
    const std::wstring temp = to_wide(argv[5]);
    ::SetEnvironmentVariableW(L"TMP", temp.c_str());
    ::SetEnvironmentVariableW(L"TEMP", temp.c_str());
    Sink sink;
    make_sink_window(sink);
    int rc = 2;
    if (mode == "memory") rc = memory(sink, args);
    if (mode == "speed") rc = speed(sink, args, temp, std::atoi(argv[6]));
    if (mode == "resume") rc = resume(sink, args);
    ::DestroyWindow(sink.window);
    return rc;
}
