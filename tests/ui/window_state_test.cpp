#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ui/window_state.h"

namespace {

using Message = WorkerMessage;

// The fill value is only read while the bar is shown, so it is compared only then.
void expect_state(const WindowState& actual, const WindowState& expected) {
    EXPECT_EQ(actual.status, expected.status);
    EXPECT_EQ(actual.detail, expected.detail);
    EXPECT_EQ(actual.button_label, expected.button_label);
    EXPECT_EQ(actual.setup_url, expected.setup_url);
    EXPECT_EQ(actual.version, expected.version);
    EXPECT_EQ(actual.progress_shown, expected.progress_shown);
    if (expected.progress_shown && actual.progress_shown) {
        EXPECT_EQ(actual.progress, expected.progress);
    }
    EXPECT_EQ(actual.busy, expected.busy);
}

WindowState state(std::string status, std::string detail, std::string button,
                  std::optional<std::string> url, std::optional<std::string> version,
                  std::optional<float> progress, bool busy) {
    WindowState s;
    s.status = std::move(status);
    s.detail = std::move(detail);
    s.button_label = std::move(button);
    s.setup_url = std::move(url);
    s.version = std::move(version);
    s.progress_shown = progress.has_value();
    s.progress = progress.value_or(0.0f);
    s.busy = busy;
    return s;
}

WindowState apply(WindowState s, Message m) {
    update_window_state(s, std::move(m));
    return s;
}

const char* kUrl = "https://h/Vantrel-1.4.2.exe";

WindowState ready_state() {
    return state("Ready to download", "Latest build: 1.4.2", "Download", kUrl, "1.4.2", 0.0f,
                 false);
}

TEST(WindowState, InitialState) {
    expect_state(initial_window_state(),
                 state("Checking for updates...", "Contacting updates.vantrel.app", "Checking",
                       std::nullopt, std::nullopt, std::nullopt, true));
}

TEST(WindowState, EachVariantFromCheckingAndFromReady) {
    struct Case {
        const char* name;
        bool from_ready;
        Message message;
        WindowState expected;
    };
    const std::optional<std::string> none;
    const std::vector<Case> cases = {
        {"ready from checking", false, {Message::Ready{"1.4.2", kUrl}}, ready_state()},
        {"ready from ready",
         true,
         {Message::Ready{"2.0", "https://h/b.exe"}},
         state("Ready to download", "Latest build: 2.0", "Download", "https://h/b.exe", "2.0", 0.0f,
               false)},
        {"status from checking",
         false,
         {Message::Status{"Verifying", "Please wait", 0.25f, true}},
         state("Verifying", "Please wait", "Checking", none, none, 0.25f, true)},
        {"status from ready",
         true,
         {Message::Status{"Idle", "Nothing to do", std::nullopt, false}},
         state("Idle", "Nothing to do", "Download", kUrl, "1.4.2", std::nullopt, false)},
        {"progress from checking",
         false,
         {Message::Progress{"1.0 MB / 4.0 MB", 0.25f}},
         state("Downloading", "1.0 MB / 4.0 MB", "Checking", none, none, 0.25f, true)},
        {"progress from ready",
         true,
         {Message::Progress{"3.0 MB / 4.0 MB", 0.75f}},
         state("Downloading", "3.0 MB / 4.0 MB", "Download", kUrl, "1.4.2", 0.75f, true)},
        // A failed check has nothing to download yet; a failed download keeps its target.
        {"failed from checking",
         false,
         {Message::Failed{"Server returned HTTP status 404."}},
         state("Download failed", "Server returned HTTP status 404.", "Try Again", none, none, 0.0f,
               false)},
        {"failed from ready",
         true,
         {Message::Failed{"Download was interrupted."}},
         state("Download failed", "Download was interrupted.", "Try Again", kUrl, "1.4.2", 0.0f,
               false)},
        {"installed from checking",
         false,
         {Message::Installed{"Done"}},
         state("Installed", "Done", "Installed", none, none, 1.0f, true)},
        {"installed from ready",
         true,
         {Message::Installed{"Vantrel 1.4.2 is installed."}},
         state("Installed", "Vantrel 1.4.2 is installed.", "Installed", kUrl, "1.4.2", 1.0f, true)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        expect_state(apply(c.from_ready ? ready_state() : initial_window_state(), c.message),
                     c.expected);
    }
}

TEST(WindowState, StatusWithoutProgressHidesTheBar) {
    struct Case {
        const char* name;
        std::optional<float> before;
        std::optional<float> message;
    };
    const std::vector<Case> cases = {
        {"shown then absent", 0.6f, std::nullopt},
        {"full then absent", 1.0f, std::nullopt},
        {"hidden then given", std::nullopt, 0.4f},
        {"shown then zero", 0.6f, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowState before = state("s", "d", "Download", kUrl, "1.4.2", c.before, true);
        const WindowState after = apply(before, {Message::Status{"S", "D", c.message, false}});
        expect_state(after, state("S", "D", "Download", kUrl, "1.4.2", c.message, false));
    }
}

TEST(WindowState, Sequences) {
    WindowState s = initial_window_state();
    update_window_state(s, {Message::Ready{"1.4.2", kUrl}});
    update_window_state(s, {Message::Ready{"1.5.0", "https://h/new.exe"}});
    expect_state(s, state("Ready to download", "Latest build: 1.5.0", "Download",
                          "https://h/new.exe", "1.5.0", 0.0f, false));

    update_window_state(s, {Message::Progress{"1.0 B / 2.0 B", 0.5f}});
    update_window_state(s, {Message::Failed{"Download was interrupted."}});
    update_window_state(s, {Message::Status{"Retrying", "Contacting h", std::nullopt, true}});
    // The caption stays until a message names a new one.
    expect_state(s, state("Retrying", "Contacting h", "Try Again", "https://h/new.exe", "1.5.0",
                          std::nullopt, true));

    update_window_state(s, {Message::Installed{"Installed 1.5.0"}});
    update_window_state(s, {Message::Status{"Closing", "Bye", 1.0f, true}});
    expect_state(s, state("Closing", "Bye", "Installed", "https://h/new.exe", "1.5.0", 1.0f, true));
}

// Steps, one letter each: "s" starts a check (numbered 1, 2, 3...), "rN" and
// "fN" are Ready and Failed from check N (0: the download worker), "d" is the
// download starting. A stale Ready during a download must neither show "Ready
// to download" nor make the button live: a second worker would truncate the
// file the first is about to run.
TEST(WindowState, OnlyTheAwaitedCheckIsApplied) {
    const WindowState failed =
        state("Download failed", "500", "Try Again", std::nullopt, std::nullopt, 0.0f, false);
    struct Case {
        const char* steps;
        WindowState expected;
    };
    const std::vector<Case> cases = {
        {"s r1", ready_state()},
        {"r1", initial_window_state()},
        {"s f1 r1", failed},
        {"s f1 s s r3 f2", ready_state()},
        {"s f1 s s r2", failed},
        {"s s r1 f2", failed},
        {"s r1 f0", state("Download failed", "500", "Try Again", kUrl, "1.4.2", 0.0f, false)},
        {"s f1 s s r3 d r2 r3",
         state("Downloading", "1.4.2", "Download", kUrl, "1.4.2", 0.0f, true)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.steps);
        WindowState s = initial_window_state();
        for (const char* step = c.steps; *step != '\0'; step += step[1] == ' ' ? 2 : 1) {
            const std::uint32_t check = static_cast<std::uint32_t>(step[1] - '0');
            switch (*step) {
                case 's':
                    (void)begin_update_check(s);
                    break;
                case 'd':
                    update_window_state(s, {Message::Status{"Downloading", "1.4.2", 0.0f, true}});
                    break;
                case 'r':
                    update_window_state(s, {Message::Ready{"1.4.2", kUrl}, check});
                    ++step;
                    break;
                case 'f':
                    update_window_state(s, {Message::Failed{"500"}, check});
                    ++step;
                    break;
            }
        }
        expect_state(s, c.expected);
    }
}

}  // namespace
