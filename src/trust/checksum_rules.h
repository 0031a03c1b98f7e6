// Platform-free rules of the setup's checksum: the manifest's text of it and
// the comparison with what was downloaded.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"
#include "base/sha256.h"

inline constexpr const char* kBadChecksumText = "Setup checksum is not 64 hexadecimal digits.";
inline constexpr const char* kChecksumMismatch = "Downloaded setup does not match its checksum.";

// Exactly 64 hexadecimal digits, in either case; nothing otherwise.
[[nodiscard]] std::optional<Sha256> parse_sha256(std::string_view hex);

// The digest as 64 upper-case hexadecimal digits.
[[nodiscard]] std::string sha256_text(const Sha256& digest);

// Fails with kChecksumMismatch when the downloaded body's digest differs.
[[nodiscard]] Status check_sha256(const Sha256& expected, const Sha256& actual);
