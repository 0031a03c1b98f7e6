// Integers to text without printf: exact and the same on every C runtime.
#pragma once

#include <charconv>
#include <cstdint>
#include <string>

template <class Int>
[[nodiscard]] std::string decimal(Int value) {
    char digits[24];
    auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
    (void)ec;  // 24 characters hold every 64-bit value
    return std::string(digits, end);
}
