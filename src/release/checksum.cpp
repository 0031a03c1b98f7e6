#include "release/checksum.h"

#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <memory>

#include "win32/handles.h"
#include "win32/system.h"
#include "win32/system_library.h"

namespace {

const char* const kFailed = "Failed to compute the setup's checksum.";

// A SHA-256 under way in the system's BCrypt (from System32).
class Hashing {
public:
    Hashing() {
        BCRYPT_ALG_HANDLE algorithm = nullptr;
        BCRYPT_HASH_HANDLE hash = nullptr;
        if (!load_system_library(L"bcrypt.dll").ok() ||
            !BCRYPT_SUCCESS(
                ::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
            return;
        }
        algorithm_.reset(algorithm);
        if (BCRYPT_SUCCESS(::BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0))) {
            hash_.reset(hash);
        }
    }

    // False once any step failed.
    bool add(const char* data, std::size_t size) {
        // The system takes at most 4 GiB - 1 bytes a call.
        while (hash_ && size > 0) {
            const ULONG chunk = static_cast<ULONG>(std::min<std::size_t>(size, 1u << 30));
            auto* bytes = reinterpret_cast<PUCHAR>(const_cast<char*>(data));
            if (!BCRYPT_SUCCESS(::BCryptHashData(hash_.get(), bytes, chunk, 0))) hash_.reset();
            data += chunk;
            size -= chunk;
        }
        return static_cast<bool>(hash_);
    }

    Result<Sha256> finish() {
        Sha256 digest{};
        if (!hash_ ||
            !BCRYPT_SUCCESS(::BCryptFinishHash(hash_.get(), digest.data(), digest.size(), 0))) {
            return Failure{kFailed};
        }
        return digest;
    }

private:
    UniqueAlgorithm algorithm_;  // declared first: the hash goes before it
    UniqueHash hash_;
};

}  // namespace

Result<Sha256> sha256_of(const char* data, std::size_t size) {
    Hashing hashing;
    hashing.add(data, size);
    return hashing.finish();
}

Result<Sha256> sha256_of_file(HANDLE file) {
    if (!::SetFilePointerEx(file, {}, nullptr, FILE_BEGIN)) return os_failure(::GetLastError());
    // Piece by piece: the file may be as large as the memory there is.
    constexpr DWORD kPiece = 1 << 16;
    const auto piece = std::make_unique<char[]>(kPiece);
    Hashing hashing;
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(file, piece.get(), kPiece, &read, nullptr)) {
            return os_failure(::GetLastError());
        }
        if (read == 0) break;
        if (!hashing.add(piece.get(), read)) break;
    }
    return hashing.finish();
}
