// The support log's text, without the platform: one line per event, and the
// rules for what a line may show.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// A moment in UTC, as the system's clock gives it.
struct LogTime {
    std::uint16_t year, month, day, hour, minute, second, millisecond;
};

// "2026-12-08T19:30:01.042Z [1234:5678] text" and CR LF, the ids being the
// process's and the thread's. A line break inside the text becomes a blank:
// one event, one line.
[[nodiscard]] std::string log_line(const LogTime& time, std::uint32_t process, std::uint32_t thread,
                                   std::string_view text);

// The tenth of the body that `received` bytes reach, 0 to 10: a progress line
// is logged only when it changes, never once per read.
[[nodiscard]] unsigned tenth_of(std::uint64_t received, std::uint64_t total);
