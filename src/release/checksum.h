#pragma once

#include <windows.h>

#include <cstddef>

#include "base/result.h"
#include "release/checksum_rules.h"

// The SHA-256 digest of the bytes, by the system's BCrypt (from System32).
[[nodiscard]] Result<Sha256> sha256_of(const char* data, std::size_t size);

// Fails with kChecksumMismatch unless the bytes' SHA-256, computed by the
// system's BCrypt (from System32), is `expected`.
[[nodiscard]] Status check_sha256_of(const Sha256& expected, const char* data, std::size_t size);

// The same for the whole open file, read from its start.
[[nodiscard]] Status check_sha256_of_file(const Sha256& expected, HANDLE file);
