#include "trust/checksum.h"

#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <memory>

#include "win32/handles.h"
#include "win32/system.h"
#include "win32/system_library.h"

namespace {

const char* const kFailed = "Failed to compute the setup's checksum.";

}  // namespace

Sha256Hashing::Sha256Hashing() {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!load_system_library(L"bcrypt.dll").ok() ||
        !BCRYPT_SUCCESS(
            ::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
        return;
    }
    algorithm_.reset(algorithm);
    restart();
}

void Sha256Hashing::restart() {
    hash_.reset();
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (algorithm_ &&
        BCRYPT_SUCCESS(::BCryptCreateHash(algorithm_.get(), &hash, nullptr, 0, nullptr, 0, 0))) {
        hash_.reset(hash);
    }
}

bool Sha256Hashing::add(const char* data, std::size_t size) {
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

Status Sha256Hashing::add_file(HANDLE file, std::uint64_t size) {
    if (!::SetFilePointerEx(file, {}, nullptr, FILE_BEGIN)) return last_os_failure();
    // Piece by piece: the file may be as large as the memory there is.
    constexpr DWORD kPiece = 1 << 16;
    const auto piece = std::make_unique<char[]>(kPiece);
    while (size > 0) {
        DWORD read = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::uint64_t>(size, kPiece));
        if (!::ReadFile(file, piece.get(), want, &read, nullptr)) {
            return last_os_failure();
        }
        if (read == 0) return os_failure(ERROR_HANDLE_EOF);
        if (!add(piece.get(), read)) break;
        size -= read;
    }
    return {};
}

Result<Sha256> Sha256Hashing::finish() {
    Sha256 digest{};
    if (!hash_ ||
        !BCRYPT_SUCCESS(::BCryptFinishHash(hash_.get(), digest.data(), digest.size(), 0))) {
        return Failure{kFailed};
    }
    return digest;
}

Result<Sha256> sha256_of(const char* data, std::size_t size) {
    Sha256Hashing hashing;
    hashing.add(data, size);
    return hashing.finish();
}

Result<Sha256> sha256_of_file(HANDLE file) {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file, &size)) return last_os_failure();
    Sha256Hashing hashing;
    if (Status read = hashing.add_file(file, static_cast<std::uint64_t>(size.QuadPart));
        !read.ok()) {
        return read.take_failure();
    }
    return hashing.finish();
}
