// UTF-8 inside, UTF-16 at the system call. Platform-free: on Windows the wide
// character is wchar_t, elsewhere char16_t, so the same code is tested natively.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#ifdef _WIN32
using WideChar = wchar_t;
#else
using WideChar = char16_t;
#endif
using WideText = std::basic_string<WideChar>;
using WideView = std::basic_string_view<WideChar>;

// UTF-8 to an owned UTF-16 buffer; c_str() gives the NUL-terminated form the
// system wants. Characters above U+FFFF become surrogate pairs. Our texts are
// well-formed; a stray ill-formed byte becomes U+FFFD rather than vanishing.
[[nodiscard]] WideText to_wide(std::string_view text);

// UTF-16 to UTF-8, an unpaired surrogate becoming U+FFFD.
[[nodiscard]] std::string from_wide_lossy(WideView text);

// UTF-16 to UTF-8, or nothing when the text holds an unpaired surrogate.
[[nodiscard]] std::optional<std::string> from_wide_strict(WideView text);

// Nothing when the bytes are well-formed UTF-8; otherwise the description of
// the first ill-formed point, e.g. "invalid utf-8 sequence of 1 bytes from
// index 0" or "incomplete utf-8 byte sequence from index 10".
[[nodiscard]] std::optional<std::string> utf8_error(std::string_view bytes);
