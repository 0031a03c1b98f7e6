#pragma once

#include <cstdint>
#include <string>

// A byte count as "{:.1} {}" in binary units B, KB, MB, GB: "1.5 MB". The one
// decimal is rounded exactly from the binary value, ties to even, and the
// separator is always ".".
[[nodiscard]] std::string format_size(std::uint64_t bytes);
