// The support log, %TEMP%\VantrelBootstrapper\bootstrapper.log: what each run
// did, for whoever has to find out why an install failed. Nothing secret goes
// in: no query strings, no headers, no credentials.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "win32/handles.h"

// The log of this run, owned by the entry point. At start a log over 1 MiB
// becomes bootstrapper.old.log; the first line names the program and the
// system, the last one the end. A log that cannot be opened is skipped.
class SupportLog {
public:
    explicit SupportLog(std::string_view version);
    ~SupportLog();
    SupportLog(const SupportLog&) = delete;
    SupportLog& operator=(const SupportLog&) = delete;

private:
    UniqueFile file_;
};

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
