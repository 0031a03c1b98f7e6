#include <gtest/gtest.h>

#include "ui/taskbar_rules.h"

namespace {

using S = TaskbarState;

WindowState after(std::initializer_list<WorkerMessage> messages) {
    WindowState state = initial_window_state();
    for (const WorkerMessage& message : messages) update_window_state(state, message);
    return state;
}

TEST(TaskbarRules, FollowsTheWindow) {
    const WorkerMessage ready{WorkerMessage::Ready{"1.4.2", "https://h/s.exe"}};
    const WorkerMessage failed{WorkerMessage::Failed{"Download request failed."}};
    WindowState checking_again = after({failed});
    (void)begin_update_check(checking_again);
    const struct {
        const char* name;
        WindowState state;
        TaskbarProgress shown;
    } cases[] = {
        {"start", initial_window_state(), {S::kIndeterminate}},
        {"checking again after a failure", checking_again, {S::kIndeterminate}},
        {"ready", after({ready}), {S::kNone}},
        {"pressed",
         after({ready, {WorkerMessage::Status{"Downloading", "1.4.2", 0.0f}}}),
         {S::kNormal, 0}},
        {"half a part", after({{WorkerMessage::Progress{"", 0.0005f}}}), {S::kNormal, 1}},
        {"an eighth", after({{WorkerMessage::Progress{"", 0.125f}}}), {S::kNormal, 125}},
        {"done", after({{WorkerMessage::Progress{"", 1.0f}}}), {S::kNormal, 1000}},
        {"installing",
         after({{WorkerMessage::Status{"Installing", "Finishing setup...", 1.0f}}}),
         {S::kIndeterminate}},
        {"failed", after({ready, failed}), {S::kError, 1000}},
        {"installed", after({{WorkerMessage::Installed{"1.4.2"}}}), {S::kNone}},
        {"other, busy",
         after({{WorkerMessage::Status{"Waiting", "", 0.5f, true}}}),
         {S::kIndeterminate}},
        {"other, idle", after({{WorkerMessage::Status{"Waiting", "", 0.5f, false}}}), {S::kNone}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TaskbarProgress shown = taskbar_progress(c.state);
        EXPECT_EQ(int(shown.state), int(c.shown.state));
        EXPECT_EQ(shown.completed, c.shown.completed);
    }
}

}  // namespace
