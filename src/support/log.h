// The support log, %TEMP%\VantrelBootstrapper\bootstrapper.log: what each run
// did, for whoever has to find out why an install failed. Nothing secret goes
// in: no query strings, no headers, no credentials.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>

// Opens this run's log and writes its first line: "start", the program, the
// system, then `note`. At start a log over 1 MiB becomes bootstrapper.old.log.
// The log is never closed by the program: detached workers may write to it
// until the process ends, and the system closes it then. A log that cannot be
// opened is skipped.
void open_support_log(std::string_view version, std::string_view note = {});

// Appends one line, from any thread: `text` with each "%" replaced by the next
// of `values` (a text without "%" takes none). Nothing when no log is open or
// the write fails: an install never fails because of its log. The line is
// made here, so that each call site stays a few bytes.
void log_event(const char* text, std::initializer_list<std::string_view> values = {});

// A number as one of those pieces, in decimal or in upper-case hexadecimal.
class LogNumber {
public:
    LogNumber(std::uint64_t value, bool hex = false);
    operator std::string_view() const { return {digits_, size_}; }

private:
    char digits_[20];
    std::size_t size_;
};
