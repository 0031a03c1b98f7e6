// The text shown for a system error code. Pure: the platform side fetches the
// system's message (FormatMessageW) and hands it here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "text/utf.h"

// What the system's message lookup gave for a code.
struct SystemText {
    std::optional<WideText> text;    // what the lookup returned, when it succeeded
    std::uint32_t lookup_error = 0;  // the lookup's own error, when it failed
};

// "{} (os error {})" from the system's text for a code, with trailing line
// breaks and blanks removed; the two fallbacks when the lookup failed (its
// error given) or its text was not valid UTF-16 (nothing given).
[[nodiscard]] std::string os_error_message(std::uint32_t code, const SystemText& lookup);
