#include <gtest/gtest.h>

#include <optional>

#include "ui/focus.h"

namespace {

TEST(Focus, KeysMoveAndPress) {
    const std::uint32_t kF4 = 0x73, kA = 0x41;
    struct Case {
        Hit focus;
        std::uint32_t key;
        bool shift, repeated;
        KeyAction expected;
    };
    const Case cases[] = {
        // Tab walks main, Cancel, minimise, close and round; Shift+Tab back.
        {Hit::kMain, keys::kTab, false, false, {Hit::kCancel, {}, true}},
        {Hit::kCancel, keys::kTab, false, false, {Hit::kMinimise, {}, true}},
        {Hit::kMinimise, keys::kTab, false, false, {Hit::kClose, {}, true}},
        {Hit::kClose, keys::kTab, false, false, {Hit::kMain, {}, true}},
        {Hit::kMain, keys::kTab, true, false, {Hit::kClose, {}, true}},
        {Hit::kClose, keys::kTab, true, false, {Hit::kMinimise, {}, true}},
        {Hit::kCancel, keys::kTab, true, true, {Hit::kMain, {}, true}},
        // Enter and Space press the focused control, once per press.
        {Hit::kMain, keys::kEnter, false, false, {Hit::kMain, Hit::kMain}},
        {Hit::kCancel, keys::kEnter, false, false, {Hit::kCancel, Hit::kCancel}},
        {Hit::kMinimise, keys::kSpace, false, false, {Hit::kMinimise, Hit::kMinimise}},
        {Hit::kClose, keys::kSpace, true, false, {Hit::kClose, Hit::kClose}},
        {Hit::kMain, keys::kEnter, false, true, {Hit::kMain, {}}},
        {Hit::kMain, keys::kSpace, false, true, {Hit::kMain, {}}},
        // Escape is Cancel wherever the focus is.
        {Hit::kMinimise, keys::kEscape, false, false, {Hit::kMinimise, Hit::kCancel}},
        {Hit::kMain, keys::kEscape, false, true, {Hit::kMain, {}}},
        // Other keys (Alt+F4 is the system's) do nothing here.
        {Hit::kMain, kF4, false, false, {Hit::kMain, {}}},
        {Hit::kCancel, kA, true, false, {Hit::kCancel, {}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "focus " << int(c.focus) << " key " << c.key << " shift "
                                        << c.shift << " repeated " << c.repeated);
        const KeyAction action = key_action(c.focus, c.key, c.shift, c.repeated);
        EXPECT_EQ(action.focus, c.expected.focus);
        EXPECT_EQ(action.press, c.expected.press);
        EXPECT_EQ(action.shows_focus, c.expected.shows_focus);
    }
}

}  // namespace
