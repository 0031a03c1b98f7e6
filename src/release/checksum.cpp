#include "release/checksum.h"

#include <windows.h>

#include <bcrypt.h>

#include <algorithm>

#include "win32/handles.h"
#include "win32/system_library.h"

Result<Sha256> sha256_of(const char* data, std::size_t size) {
    if (Status loaded = load_system_library(L"bcrypt.dll"); !loaded.ok()) {
        return loaded.take_failure();
    }
    const Failure failed{"Failed to compute the setup's checksum."};
    BCRYPT_ALG_HANDLE algorithm_handle = nullptr;
    if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&algorithm_handle, BCRYPT_SHA256_ALGORITHM,
                                                      nullptr, 0))) {
        return failed;
    }
    const UniqueAlgorithm algorithm(algorithm_handle);
    BCRYPT_HASH_HANDLE hash_handle = nullptr;
    if (!BCRYPT_SUCCESS(
            ::BCryptCreateHash(algorithm.get(), &hash_handle, nullptr, 0, nullptr, 0, 0))) {
        return failed;
    }
    const UniqueHash hash(hash_handle);
    // The system takes at most 4 GiB - 1 bytes a call.
    while (size > 0) {
        const ULONG chunk = static_cast<ULONG>(std::min<std::size_t>(size, 1u << 30));
        auto* bytes = reinterpret_cast<PUCHAR>(const_cast<char*>(data));
        if (!BCRYPT_SUCCESS(::BCryptHashData(hash.get(), bytes, chunk, 0))) return failed;
        data += chunk;
        size -= chunk;
    }
    Sha256 digest{};
    if (!BCRYPT_SUCCESS(::BCryptFinishHash(hash.get(), digest.data(), digest.size(), 0))) {
        return failed;
    }
    return digest;
}
