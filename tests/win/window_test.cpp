// The real window procedure in a real window of the program's class.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "app_info.h"
#include "report/worker_channel.h"
#include "text/utf.h"
#include "ui/paint.h"
#include "ui/taskbar.h"
#include "ui/window.h"
#include "win_test_support.h"

namespace {

HWND create_window(WindowState* state) {
    register_test_window_class();
    return ::CreateWindowExW(0, to_wide(app::kWindowClass.c_str()).c_str(),
                             to_wide(app::kAppName.c_str()).c_str(), WS_POPUP | WS_VISIBLE, 0, 0,
                             760, 520, nullptr, nullptr, ::GetModuleHandleW(nullptr), state);
}

HWND create_window_with(WindowState state) {
    return create_window(std::make_unique<WindowState>(std::move(state)).release());
}

// Every destroyed window posts WM_QUIT, which PeekMessageW returns whatever
// its filter; it is taken off so that it does not end later waits.
void destroy(HWND window) {
    ::DestroyWindow(window);
    MSG quit;
    while (::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

LPARAM at(int x, int y) {
    return MAKELPARAM(x, y);
}

WindowState ready_state(const char* setup_url) {
    WindowState state = initial_window_state();
    update_window_state(state, {WorkerMessage::Ready{"1.4.2", setup_url}});
    return state;
}

TEST(Window, AttachesStateTitleAndRoundedRegion) {
    const HWND window = create_window_with(initial_window_state());
    ASSERT_NE(window, nullptr);
    const WindowState* state = attached_state(window);
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(state->status, "Checking for updates...");

    wchar_t title[64] = {};
    ::GetWindowTextW(window, title, 64);
    EXPECT_EQ(from_wide_lossy(title), "Vantrel Bootstrapper");

    const HRGN region = ::CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(::GetWindowRgn(window, region), ERROR);
    // A region leaves out its right and bottom edges: 761 by 521 covers the
    // whole 760 by 520 window, less the rounded corners.
    RECT box{};
    ::GetRgnBox(region, &box);
    EXPECT_EQ(box.left, 0);
    EXPECT_EQ(box.top, 0);
    EXPECT_EQ(box.right, 760);
    EXPECT_EQ(box.bottom, 520);
    EXPECT_FALSE(::PtInRegion(region, 0, 0));
    EXPECT_FALSE(::PtInRegion(region, 759, 519));
    EXPECT_TRUE(::PtInRegion(region, 380, 0));
    EXPECT_TRUE(::PtInRegion(region, 759, 260));
    EXPECT_TRUE(::PtInRegion(region, 28, 28));
    ::DeleteObject(region);
    destroy(window);
}

TEST(Window, AppliesMessagesPostedFromAnotherThreadInOrder) {
    const HWND window = create_window_with(initial_window_state());
    std::thread worker([channel = main_window(window)->channel()] {
        post_worker_message(channel, {WorkerMessage::Ready{"1.4.2", "https://h/setup.exe"}});
        post_worker_message(channel, {WorkerMessage::Progress{"1.0 KB / 2.0 KB", 0.5f}});
    });
    worker.join();
    const WindowState* state = attached_state(window);
    ASSERT_TRUE(pump_until([&] { return state->status == "Downloading"; }));
    EXPECT_EQ(state->detail, "1.0 KB / 2.0 KB");
    EXPECT_EQ(state->button_label, "Download");
    EXPECT_EQ(state->setup_url, "https://h/setup.exe");
    EXPECT_EQ(state->version, "1.4.2");
    EXPECT_TRUE(state->progress_shown);
    EXPECT_EQ(state->progress, 0.5f);
    EXPECT_TRUE(state->busy);
    destroy(window);
}

TEST(Window, ForeignWorkerMessagesChangeNothing) {
    const HWND window = create_window_with(ready_state("https://h/setup.exe"));
    WorkerMessage forged{WorkerMessage::Failed{"forged"}};
    for (const WPARAM junk : {WPARAM{0}, WPARAM{0x1234}, reinterpret_cast<WPARAM>(&forged)}) {
        ::PostMessageW(window, WM_WORKER, junk, 0);
        ::SendMessageW(window, WM_WORKER, junk, 0);
    }
    pump_until([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_EQ(attached_state(window)->status, "Ready to download");
    EXPECT_EQ(attached_state(window)->detail, "Latest build: 1.4.2");
    destroy(window);
}

TEST(Window, ReportsAreFreedWhenTheWindowIsGone) {
    const auto before = live_allocations();
    {
        const HWND window = create_window_with(initial_window_state());
        const WorkerChannel channel = main_window(window)->channel();
        // Waiting when the window goes, and sent after it went.
        post_worker_message(channel, {WorkerMessage::Failed{std::string(100, 'x')}});
        destroy(window);
        EXPECT_EQ(attached_state(window), nullptr);
        post_worker_message(channel, {WorkerMessage::Installed{std::string(100, 'y')}});
    }
    EXPECT_EQ(live_allocations(), before);
}

TEST(Window, ReportsNeitherFillTheQueueNorGetLostInAFullOne) {
    const HWND window = create_window_with(initial_window_state());
    const WindowState* state = attached_state(window);
    // However many reports wait, they hold one place in the queue: the
    // window's own reports can never fill it.
    std::thread([channel = main_window(window)->channel()] {
        for (int i = 0; i < 20000; ++i) {
            post_worker_message(channel, {WorkerMessage::Progress{"", i / 20000.0f}});
        }
        post_worker_message(channel, {WorkerMessage::Ready{"1.4.2", "https://h/setup.exe"}});
    }).join();
    int wakes = 0;
    MSG message;
    while (::PeekMessageW(&message, window, WM_WORKER, WM_WORKER, PM_REMOVE)) {
        ++wakes;
        ::DispatchMessageW(&message);
    }
    EXPECT_EQ(wakes, 1);
    EXPECT_EQ(state->status, "Ready to download");

    // Filled by others, as far as Windows lets a queue fill (10,000; Wine
    // takes more), the queue delays a report until there is room again.
    for (int queued = 0; queued < 10000 && ::PostMessageW(window, WM_NULL, 0, 0); ++queued) {
    }
    std::thread worker([channel = main_window(window)->channel()] {
        post_failure(channel, {"Download request failed."});
    });
    EXPECT_TRUE(pump_until([&] { return state->status == "Download failed"; }));
    worker.join();
    destroy(window);
}

TEST(Window, TwoQueuedPressesStartOneDownload) {
    const std::string path = "/status/404/two-presses.exe";
    const HWND window =
        create_window_with(ready_state(("https://updates.vantrel.app" + path).c_str()));
    ::PostMessageW(window, WM_PRESS, static_cast<WPARAM>(Hit::kMain), 0);
    ::PostMessageW(window, WM_PRESS, static_cast<WPARAM>(Hit::kMain), 0);
    const WindowState* state = attached_state(window);
    ASSERT_TRUE(pump_until([&] { return state->status == "Download failed"; }));
    // Time for a second worker, were there one, to reach the server.
    pump_until([] { return false; }, std::chrono::milliseconds(500));
    EXPECT_EQ(state->detail, "Server returned HTTP status 404.");
    EXPECT_EQ(server_requests("GET " + path), 1);
    destroy(window);
}

TEST(Window, DestroyFreesTheStateAndEndsTheLoop) {
    const auto before = live_allocations();
    const HWND window = create_window_with(initial_window_state());
    ::DestroyWindow(window);
    MSG quit{};
    EXPECT_TRUE(::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(quit.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(live_allocations(), before);
}

TEST(Window, PressesReachTheirControls) {
    struct Case {
        int x, y;
        bool destroyed, minimised;
    };
    const Case cases[] = {
        {691, 60, false, true},   // minimise, bottom-right corner
        {659, 28, false, true},   // minimise, top-left corner
        {700, 28, true, false},   // close
        {732, 60, true, false},   // close, bottom-right corner
        {408, 432, true, false},  // Cancel
        {540, 460, true, false},  // Cancel, bottom-right corner
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
        const HWND window = create_window_with(initial_window_state());
        ::SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at(c.x, c.y));
        EXPECT_EQ(!::IsWindow(window), c.destroyed);
        if (!c.destroyed) {
            EXPECT_EQ(::IsIconic(window) != FALSE, c.minimised);
        }
        destroy(window);
    }
}

TEST(Window, KeysPressTheirControls) {
    constexpr LPARAM kAlt = 1 << 29;
    struct Case {
        int tabs;  // from the main button
        UINT message;
        WPARAM key;
        LPARAM flags;
        bool destroyed, minimised;
    };
    const Case cases[] = {
        {0, WM_KEYDOWN, VK_ESCAPE, 0, true, false},
        {2, WM_SYSKEYDOWN, VK_F4, kAlt, true, false},  // Alt+F4 stays the system's
        {1, WM_KEYDOWN, VK_RETURN, 0, true, false},    // Cancel
        {2, WM_KEYDOWN, VK_SPACE, 0, false, true},     // minimise
        {3, WM_KEYDOWN, VK_SPACE, 0, true, false},     // close
        {4, WM_KEYDOWN, VK_SPACE, 0, false, false},    // round to the busy main button
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.tabs << " tabs, key " << c.key);
        const HWND window = create_window_with(initial_window_state());
        for (int i = 0; i < c.tabs; ++i) ::SendMessageW(window, WM_KEYDOWN, VK_TAB, 0);
        ::SendMessageW(window, c.message, c.key, c.flags);
        pump_until([&] { return !::IsWindow(window); }, std::chrono::milliseconds(500));
        EXPECT_EQ(!::IsWindow(window), c.destroyed);
        if (!c.destroyed) {
            EXPECT_EQ(::IsIconic(window) != FALSE, c.minimised);
        }
        destroy(window);
    }
}

TEST(Window, MainButtonStartsADownloadOnlyWhenNotBusy) {
    // Each state reached by the messages that lead to it; the URL is one the
    // worker refuses at once, so a started download ends without a network.
    struct Case {
        const char* name;
        std::vector<WorkerMessage> messages;  // after Ready, but for "checking"
        bool starts;
    };
    std::vector<Case> cases;
    cases.push_back({"checking", {}, false});
    cases.push_back({"downloading", {}, false});
    cases.back().messages.push_back({WorkerMessage::Progress{"1.0 KB / 2.0 KB", 0.5f}});
    cases.push_back({"installing", {}, false});
    cases.back().messages.push_back(
        {WorkerMessage::Status{"Installing", "Finishing setup...", 1.0f, true}});
    cases.push_back({"installed", {}, false});
    cases.back().messages.push_back({WorkerMessage::Installed{"1.4.2"}});
    cases.push_back({"ready", {}, true});
    cases.push_back({"failed", {}, true});
    cases.back().messages.push_back({WorkerMessage::Failed{"Download request failed."}});
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowState state = std::string(c.name) == "checking" ? initial_window_state()
                                                              : ready_state("ftp://h/setup.exe");
        for (WorkerMessage& m : c.messages) update_window_state(state, std::move(m));
        const std::string before = state.status;
        const HWND window = create_window_with(std::move(state));
        ::SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at(396, 460));
        const WindowState* attached = attached_state(window);
        if (c.starts) {
            EXPECT_EQ(attached->status, "Downloading");
            EXPECT_TRUE(pump_until([&] { return attached->status == "Download failed"; }));
        } else {
            MSG message;
            EXPECT_FALSE(::PeekMessageW(&message, window, WM_WORKER, WM_WORKER, PM_NOREMOVE));
            EXPECT_EQ(attached->status, before);
        }
        destroy(window);
    }
}

TEST(Window, MainButtonWithSetupUrlStartsTheDownloadWorker) {
    // The worker runs for real; a URL it refuses at once shows the whole road
    // from the press to the failure without any network.
    const HWND window = create_window_with(ready_state("ftp://h/setup.exe"));
    ::SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at(300, 446));
    const WindowState* state = attached_state(window);
    // The press itself applies the Status, before the worker starts.
    EXPECT_EQ(state->status, "Downloading");
    EXPECT_EQ(state->detail, "1.4.2");
    EXPECT_TRUE(state->progress_shown);
    EXPECT_EQ(state->progress, 0.0f);
    EXPECT_TRUE(state->busy);
    ASSERT_TRUE(pump_until([&] { return state->status == "Download failed"; }));
    EXPECT_EQ(state->detail, "Only HTTP and HTTPS URLs are supported.");
    EXPECT_EQ(state->button_label, "Try Again");
    EXPECT_FALSE(state->busy);
    destroy(window);
}

TEST(Window, MainButtonWithoutVersionGivesLatest) {
    WindowState state = ready_state("ftp://h/setup.exe");
    state.version.reset();
    const HWND window = create_window_with(std::move(state));
    ::SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at(220, 432));
    const WindowState* attached = attached_state(window);
    ASSERT_TRUE(pump_until([&] { return attached->status == "Downloading"; }));
    EXPECT_EQ(attached->detail, "latest");
    ASSERT_TRUE(pump_until([&] { return attached->status == "Download failed"; }));
    destroy(window);
}

// High Contrast answered "on" (Wine's is always off) in colours of the test's
// choosing: window, button face, highlight, window text, button text, gray text.
TEST(Window, HighContrastPaintsInTheSystemColoursOnly) {
    const int indices[] = {COLOR_WINDOW,     COLOR_BTNFACE, COLOR_HIGHLIGHT,
                           COLOR_WINDOWTEXT, COLOR_BTNTEXT, COLOR_GRAYTEXT};
    COLORREF themes[3][6] = {{RGB(16, 32, 48), RGB(64, 0, 96), RGB(0, 144, 32), RGB(240, 224, 16),
                              RGB(224, 240, 240), RGB(128, 112, 96)},
                             {RGB(250, 250, 240), RGB(200, 0, 0), RGB(96, 0, 160), RGB(0, 0, 8),
                              RGB(0, 64, 0), RGB(40, 40, 40)}};
    for (int i = 0; i < 6; ++i) themes[2][i] = ::GetSysColor(indices[i]);  // put back at the end
    std::set<COLORREF> own;  // the window's own palette, but for black
    for (int ink = 0; ink < int(Ink::kCount); ++ink) own.insert(window_colour(Ink(ink), 0, {}));
    own.erase(0);
    WindowState state = ready_state("https://h/setup.exe");
    state.progress = 0.5f;
    const HWND window = create_window_with(state);
    const HDC dc = ::GetDC(window);
    ::UpdateWindow(window);
    EXPECT_EQ(::GetPixel(dc, 3, 260), RGB(5, 12, 20));
    const auto asked = high_contrast_on;
    high_contrast_on = [] { return true; };
    for (const COLORREF* colours : {themes[0], themes[1]}) {
        ::SetSysColors(6, indices, colours);
        // Turned on, then new colours: each repaints at once.
        ::ValidateRect(window, nullptr);
        ::SendMessageW(window, colours == themes[0] ? WM_SETTINGCHANGE : WM_SYSCOLORCHANGE,
                       SPI_SETHIGHCONTRAST, 0);
        EXPECT_TRUE(::GetUpdateRect(window, nullptr, FALSE));
        ::UpdateWindow(window);
        // background, no ellipse, the buttons, progress fill, the rounded
        // edge (also where the ellipse was), main button's border, track outline, track
        const POINT probes[] = {{3, 260},  {380, 80}, {228, 446}, {414, 446}, {200, 355},
                                {10, 260}, {380, 10}, {220, 446}, {152, 355}, {500, 355}};
        const int expected[] = {0, 0, 1, 1, 2, 3, 3, 4, 3, 0};
        for (int i = 0; i < 10; ++i) {
            EXPECT_EQ(::GetPixel(dc, probes[i].x, probes[i].y), colours[expected[i]]) << i;
        }
        int own_pixels = 0;
        for (int y = 0; y < 520; ++y) {
            for (int x = 0; x < 760; ++x) own_pixels += own.count(::GetPixel(dc, x, y));
        }
        EXPECT_EQ(own_pixels, 0);
    }
    high_contrast_on = asked;
    ::SetSysColors(6, indices, themes[2]);
    ::ReleaseDC(window, dc);
    destroy(window);
}

std::string g_taskbar_calls;

// Records the window's taskbar calls, "state 2, value 0/1000, ", but for the
// values between none and the whole: those depend on how the bytes arrive.
class TaskbarRecorder final : public TaskbarButton {
    void set_progress_state(HWND, TaskbarState state) override {
        g_taskbar_calls += "state " + std::to_string(int(state)) + ", ";
    }
    void set_progress_value(HWND, std::uint64_t done, std::uint64_t total) override {
        if (done == 0 || done == total) {
            g_taskbar_calls += "value " + std::to_string(done) + "/" + std::to_string(total) + ", ";
        }
    }
};

TEST(Window, TaskbarFollowsADownload) {
    write_release_file("taskbar/setup.exe",
                       read_file(wine_path(environment("VANTREL_FIXTURES") + "/setup-exit0.exe")));
    const auto opened = open_taskbar_button;
    open_taskbar_button = [] { return std::unique_ptr<TaskbarButton>(new TaskbarRecorder); };
    for (const auto& [path, end, calls] :
         {std::tuple{"taskbar/setup.exe", "Installed",
                     "state 2, value 0/1000, value 1000/1000, state 1, state 0, "},
          {"status/404/taskbar.exe", "Download failed",
           "state 2, value 0/1000, state 4, value 1000/1000, "}}) {
        g_taskbar_calls.clear();
        const HWND window = create_window_with(
            ready_state((std::string("https://updates.vantrel.app/") + path).c_str()));
        ::SendMessageW(window, ::RegisterWindowMessageW(L"TaskbarButtonCreated"), 0, 0);
        ::SendMessageW(window, WM_PRESS, static_cast<WPARAM>(Hit::kMain), 0);
        EXPECT_TRUE(pump_until([&] { return attached_state(window)->status == end; }));
        EXPECT_EQ(g_taskbar_calls, calls);
        destroy(window);
    }
    open_taskbar_button = opened;
}

}  // namespace
