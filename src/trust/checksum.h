#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "base/result.h"
#include "trust/checksum_rules.h"
#include "win32/handles.h"

// A SHA-256 under way in the system's BCrypt (from System32), fed piece by
// piece as the bytes arrive.
class Sha256Hashing {
public:
    Sha256Hashing();
    // Starts again with nothing added.
    void restart();
    // False once any step failed; the digest then fails too.
    bool add(const char* data, std::size_t size);
    // Adds the open file's first `size` bytes, read from its start in pieces.
    [[nodiscard]] Status add_file(HANDLE file, std::uint64_t size);
    [[nodiscard]] Result<Sha256> finish();

private:
    UniqueAlgorithm algorithm_;  // declared first: the hash goes before it
    UniqueHash hash_;
};

// The SHA-256 digest of the bytes, by the system's BCrypt (from System32).
[[nodiscard]] Result<Sha256> sha256_of(const char* data, std::size_t size);

// The same for the whole open file, read from its start.
[[nodiscard]] Result<Sha256> sha256_of_file(HANDLE file);
