#pragma once

#include <windows.h>

#include <cstddef>

#include "base/result.h"
#include "release/checksum_rules.h"

// The SHA-256 digest of the bytes, by the system's BCrypt (from System32).
[[nodiscard]] Result<Sha256> sha256_of(const char* data, std::size_t size);

// The same for the whole open file, read from its start.
[[nodiscard]] Result<Sha256> sha256_of_file(HANDLE file);
