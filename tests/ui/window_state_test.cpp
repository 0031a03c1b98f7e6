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

// Checks are started as numbers 1, 2, 3...; each step delivers one message
// tagged with a check number (0: from the download worker) or starts a check.
TEST(WindowState, OnlyTheAwaitedCheckIsApplied) {
    struct Step {
        bool start_check;
        std::uint32_t check;
        Message::Failed failed;  // the message, when not Ready
        bool ready;
    };
    const WindowState failed =
        state("Download failed", "500", "Try Again", std::nullopt, std::nullopt, 0.0f, false);
    const WindowState late_failure =
        state("Download failed", "late", "Try Again", std::nullopt, std::nullopt, 0.0f, false);
    struct Case {
        const char* name;
        std::vector<Step> steps;
        WindowState expected;
    };
    const std::vector<Case> cases = {
        {"the first check", {{true, 0, {}, false}, {false, 1, {}, true}}, ready_state()},
        {"a check that was never started", {{false, 1, {}, true}}, initial_window_state()},
        {"one result per check",
         {{true, 0, {}, false}, {false, 1, {"500"}, false}, {false, 1, {}, true}},
         failed},
        {"an older check failing after a newer one succeeded",
         {{true, 0, {}, false},
          {false, 1, {"500"}, false},
          {true, 0, {}, false},
          {true, 0, {}, false},
          {false, 3, {}, true},
          {false, 2, {"late"}, false}},
         ready_state()},
        {"an older check succeeding while the newer one is awaited",
         {{true, 0, {}, false},
          {false, 1, {"500"}, false},
          {true, 0, {}, false},
          {true, 0, {}, false},
          {false, 2, {}, true}},
         failed},
        {"the awaited one after the stale one",
         {{true, 0, {}, false},
          {true, 0, {}, false},
          {false, 1, {}, true},
          {false, 2, {"late"}, false}},
         late_failure},
        {"a worker's message is always applied",
         {{true, 0, {}, false}, {false, 1, {}, true}, {false, 0, {"500"}, false}},
         state("Download failed", "500", "Try Again", kUrl, "1.4.2", 0.0f, false)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowState s = initial_window_state();
        for (const Step& step : c.steps) {
            if (step.start_check) {
                (void)begin_update_check(s);
                continue;
            }
            Message m{Message::Failed{step.failed}, step.check};
            if (step.ready) m.body = Message::Ready{"1.4.2", kUrl};
            update_window_state(s, std::move(m));
        }
        expect_state(s, c.expected);
    }
}

// A Ready from a stale check during a download must neither show "Ready to
// download" nor make the button live (a second worker would truncate the file
// the first is about to run).
TEST(WindowState, NoCheckResultDuringADownload) {
    WindowState s = initial_window_state();
    const std::uint32_t first = begin_update_check(s);
    update_window_state(s, {Message::Failed{"500"}, first});
    const std::uint32_t second = begin_update_check(s);
    const std::uint32_t third = begin_update_check(s);
    update_window_state(s, {Message::Ready{"1.4.2", kUrl}, third});
    update_window_state(s, {Message::Status{"Downloading", "1.4.2", 0.0f, true}});
    update_window_state(s, {Message::Ready{"1.4.2", kUrl}, second});
    update_window_state(s, {Message::Ready{"1.4.2", kUrl}, third});
    expect_state(s, state("Downloading", "1.4.2", "Download", kUrl, "1.4.2", 0.0f, true));
}

}  // namespace
