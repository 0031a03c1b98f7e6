#include "release/checksum.h"

#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <string>

#include "win32/handles.h"
#include "win32/system.h"
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

Status check_sha256_of(const Sha256& expected, const char* data, std::size_t size) {
    auto digest = sha256_of(data, size);
    if (!digest.ok()) return digest.take_failure();
    return check_sha256(expected, digest.value());
}

Status check_sha256_of_file(const Sha256& expected, HANDLE file) {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file, &size) || !::SetFilePointerEx(file, {}, nullptr, FILE_BEGIN)) {
        return os_failure(::GetLastError());
    }
    // A setup is held in memory whole anyway, while it is downloaded.
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    for (std::size_t done = 0; done < bytes.size();) {
        const DWORD chunk =
            static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        DWORD read = 0;
        if (!::ReadFile(file, bytes.data() + done, chunk, &read, nullptr)) {
            return os_failure(::GetLastError());
        }
        if (read == 0) break;  // shorter than it was a moment ago: the digest tells
        done += read;
    }
    return check_sha256_of(expected, bytes.data(), bytes.size());
}
