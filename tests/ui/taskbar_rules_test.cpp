#include <gtest/gtest.h>

#include "ui/taskbar_rules.h"

namespace {

WindowState after(std::initializer_list<WorkerMessage> messages) {
    WindowState state = initial_window_state();
    for (const WorkerMessage& message : messages) update_window_state(state, message);
    return state;
}

TEST(TaskbarRules, FollowsTheWindow) {
    using M = WorkerMessage;
    const M ready{M::Ready{"1.4.2", "https://h/s.exe"}}, failed{M::Failed{"No."}};
    WindowState checking_again = after({failed});
    (void)begin_update_check(checking_again);
    const struct {
        WindowState state;
        TaskbarState shown;
        std::uint32_t completed;
    } cases[] = {
        {initial_window_state(), TaskbarState::kIndeterminate, 0},
        {checking_again, TaskbarState::kIndeterminate, 0},
        {after({ready}), TaskbarState::kNone, 0},
        {after({ready, {M::Status{"Downloading", "1.4.2", 0.0f}}}), TaskbarState::kNormal, 0},
        {after({{M::Progress{"", 0.125f}}}), TaskbarState::kNormal, 125},
        {after({{M::Progress{"", 1.0f}}}), TaskbarState::kNormal, 1000},
        {after({{M::Status{"Installing", "", 1.0f}}}), TaskbarState::kIndeterminate, 0},
        {after({ready, failed}), TaskbarState::kError, 1000},
        {after({{M::Installed{"1.4.2"}}}), TaskbarState::kNone, 0},
        {after({{M::Status{"Waiting", "", 0.5f, true}}}), TaskbarState::kIndeterminate, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state.status);
        EXPECT_EQ(taskbar_progress(c.state), (TaskbarProgress{c.shown, c.completed}));
    }
}

}  // namespace
