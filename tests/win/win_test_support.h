// Helpers shared by the tests that run under Wine.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

// Heap blocks allocated with operator new and not yet freed, over the whole
// test process; a test compares it before and after to prove a free.
[[nodiscard]] std::ptrdiff_t live_allocations();

// Dispatches this thread's messages until `done` holds or the time is up.
bool pump_until(const std::function<bool()>& done,
                std::chrono::milliseconds limit = std::chrono::seconds(20));

// Registers the program's window class once for the test process.
void register_test_window_class();

// A value of the environment, or "" when unset.
[[nodiscard]] std::string environment(const char* name);
