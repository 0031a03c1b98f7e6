#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "base/byte_buffer.h"

// A request that cannot be met must come back as a failure, under the
// sanitizer too.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}

namespace {

std::string contents(const ByteBuffer& buffer) {
    return std::string(buffer.begin(), buffer.end());
}

void append(ByteBuffer& buffer, const std::string& text) {
    char* room = buffer.room_for(text.size());
    ASSERT_NE(room, nullptr);
    std::memcpy(room, text.data(), text.size());
    buffer.commit(text.size());
}

TEST(ByteBuffer, ImpossibleSizesFailAndKeepTheContents) {
    struct Case {
        const char* name;
        std::size_t reserve;  // 0: none
        std::size_t room;     // 0: none
    };
    const Case cases[] = {
        {"reserve beyond PTRDIFF_MAX", SIZE_MAX / 2 + 1, 0},
        {"reserve the whole address space", SIZE_MAX, 0},
        {"reserve more than any machine has", std::size_t{1} << 60, 0},
        {"room that wraps around", 0, SIZE_MAX - 2},
        {"room beyond PTRDIFF_MAX", 0, SIZE_MAX / 2},
        {"room more than any machine has", 0, std::size_t{1} << 60},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ByteBuffer buffer;
        append(buffer, "abc");
        if (c.reserve != 0) {
            EXPECT_FALSE(buffer.reserve(c.reserve));
        }
        if (c.room != 0) {
            EXPECT_EQ(buffer.room_for(c.room), nullptr);
        }
        EXPECT_EQ(contents(buffer), "abc");
        append(buffer, "d");
        EXPECT_EQ(contents(buffer), "abcd");
    }
}

}  // namespace
