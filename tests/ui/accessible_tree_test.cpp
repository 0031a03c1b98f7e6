#include <gtest/gtest.h>

#include <vector>

#include "ui/accessible_tree.h"

namespace {

using namespace accessible;

WindowState after(std::vector<WorkerMessage> messages) {
    WindowState state = initial_window_state();
    for (auto& m : messages) update_window_state(state, std::move(m));
    return state;
}

const WorkerMessage kReady{WorkerMessage::Ready{"1.4.2", "https://h/s.exe"}};
const WorkerMessage kStart{WorkerMessage::Status{"Downloading", "1.4.2", 0.0f, true}};
const WorkerMessage kHalf{WorkerMessage::Progress{"1.0 KB / 2.0 KB", 0.425f}};
const WorkerMessage kFailed{WorkerMessage::Failed{"Download was interrupted."}};
const WorkerMessage kInstalled{WorkerMessage::Installed{"1.4.2"}};

// The end-to-end reader reads every state's texts; these are the cases it cannot make.
TEST(AccessibleTree, FocusIsReportedOnlyWhileTheWindowHasIt) {
    const WindowState busy = after({}), ready = after({kReady});
    struct Case {
        const WindowState& state;
        Child child;
        Hit focus;
        bool window_focused;
        std::uint32_t states;
    };
    const Case cases[] = {
        {busy, kMain, Hit::kMain, true, kUnavailable | kFocused | kFocusable},
        {busy, kMain, Hit::kMain, false, kUnavailable | kFocusable},
        {ready, kMain, Hit::kMain, false, kFocusable},
        {ready, kClose, Hit::kClose, true, kFocused | kFocusable},
        {ready, kCancel, Hit::kClose, true, kFocusable},
        {ready, kSelf, Hit::kMain, true, kFocusable},
        {ready, kProgress, Hit::kMain, true, kReadOnly},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.child << " focus " << int(c.focus));
        EXPECT_EQ(states_of(c.state, c.child, c.focus, c.window_focused), c.states);
    }
    EXPECT_EQ(value_of(after({kReady, kStart, kHalf}), kProgress), "43%");
    EXPECT_EQ(value_of(busy, kProgress), "");
}

TEST(AccessibleTree, HitTestingFindsEachPartToItsEdges) {
    struct Case {
        std::int32_t x, y;
        Child child;
    };
    const Case cases[] = {
        {0, 302, kStatus},   {759, 333, kStatus}, {380, 334, kSelf},     {0, 378, kDetail},
        {759, 409, kDetail}, {380, 410, kSelf},   {152, 350, kProgress}, {571, 359, kProgress},
        {572, 355, kSelf},   {151, 355, kSelf},   {220, 432, kMain},     {396, 460, kMain},
        {408, 432, kCancel}, {540, 460, kCancel}, {400, 446, kSelf},     {659, 28, kMinimise},
        {732, 60, kClose},   {380, 50, kSelf},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
        EXPECT_EQ(child_at(c.x, c.y), c.child);
    }
}

TEST(AccessibleTree, ChangesReadersAreToldOf) {
    using K = Event::Kind;
    const Event name_status{K::kName, kStatus}, name_detail{K::kName, kDetail},
        value{K::kValue, kProgress}, name_main{K::kName, kMain}, state_main{K::kState, kMain},
        focus_main{K::kFocus, kMain};
    struct Case {
        const char* name;
        std::vector<WorkerMessage> before, then;
        std::vector<Event> expected;
    };
    const Case cases[] = {
        {"check done",
         {},
         {kReady},
         {name_status, name_detail, value, name_main, state_main, focus_main}},
        {"check failed",
         {},
         {kFailed},
         {name_status, name_detail, value, name_main, state_main, focus_main}},
        {"download starts", {kReady}, {kStart}, {name_status, name_detail, state_main}},
        {"progress", {kReady, kStart}, {kHalf}, {name_detail, value}},
        {"another piece, same percentage",
         {kReady, kStart, kHalf},
         {WorkerMessage{WorkerMessage::Progress{"1.1 KB / 2.0 KB", 0.43f}}},
         {}},
        {"download failed",
         {kReady, kStart, kHalf},
         {kFailed},
         {name_status, name_detail, value, name_main, state_main, focus_main}},
        // "Try Again" keeps its label; pressable again, it takes the focus all the same.
        {"failed again",
         {kReady, kStart, kFailed, kStart},
         {kFailed},
         {name_status, name_detail, state_main, focus_main}},
        // Still unavailable, but the new label is worth hearing.
        {"installed",
         {kReady, kStart, kHalf},
         {kInstalled},
         {name_status, name_detail, value, name_main, focus_main}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const WindowState before = after(c.before);
        WindowState now = before;
        for (auto m : c.then) update_window_state(now, std::move(m));
        const Events events = state_events(before, now);
        EXPECT_EQ(std::vector<Event>(events.begin(), events.end()), c.expected);
    }
}

}  // namespace
