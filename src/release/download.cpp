#include "release/download.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "release/checksum.h"
#include "release/download_rules.h"
#include "release/http_get.h"
#include "release/installer.h"
#include "release/signature.h"
#include "support/log.h"
#include "text/utf.h"
#include "win32/handles.h"
#include "win32/system.h"
#include "win32/system_library.h"

namespace {

bool is_directory(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Creates the folder, or finds it already there.
Status create_or_find_folder(const std::wstring& path) {
    if (::CreateDirectoryW(path.c_str(), nullptr)) return {};
    const DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS && is_directory(path)) return {};
    return os_failure(error);
}

// The folder above `path`, or nothing at a drive root or a bare name.
std::optional<std::wstring> parent_folder(std::wstring path) {
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    const auto cut = path.find_last_of(L'\\');
    if (cut == std::wstring::npos || cut == 0) return std::nullopt;
    path.resize(cut);
    if (path.size() == 2 && path[1] == L':')
        path.push_back(L'\\');  // "C:" means the current folder
    return path;
}

// Writes the whole body; a write that stores nothing is a failure of its own.
Status write_all(HANDLE file, const Body& body) {
    const char* next = body.data();
    std::size_t left = body.size();
    while (left > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(left, 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(file, next, chunk, &written, nullptr)) return os_failure(::GetLastError());
        if (written == 0) return Failure{"failed to write whole buffer"};
        next += written;
        left -= written;
    }
    return {};
}

// Creates `folder` and every missing parent. The outcome is not reported:
// a problem here shows up when the file is created.
void create_folder_chain(const std::wstring& folder) {
    std::vector<std::wstring> missing;
    std::wstring current = folder;
    for (Status created = create_or_find_folder(current); !created.ok();
         created = create_or_find_folder(current)) {
        if (created.os_error() != ERROR_PATH_NOT_FOUND &&
            created.os_error() != ERROR_FILE_NOT_FOUND) {
            return;
        }
        auto parent = parent_folder(current);
        if (!parent) return;
        missing.push_back(std::move(current));
        current = std::move(*parent);
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (!create_or_find_folder(*it).ok()) return;
    }
}

// Writes the whole body to `path`; nobody else may write or delete the file
// meanwhile.
Status write_setup(const std::wstring& path, const Body& body) {
    const UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return os_failure(::GetLastError());
    return write_all(file.get(), body);
}

// Opens the written file again for reading only, denying writers and
// deleters until the handle is closed, and checks through that handle what
// will run: that it is still the download, byte for byte (nothing swapped it
// in the moment between closing and opening), and its signer.
Result<UniqueFile> hold_and_check(const std::wstring& path, const Sha256& downloaded) {
    UniqueFile held(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!held) return os_failure(::GetLastError());
    auto digest = sha256_of_file(held.get());
    if (!digest.ok()) return digest.take_failure();
    if (Status same = check_sha256(downloaded, digest.value()); !same.ok()) {
        return same.take_failure();
    }
    if (Status signer = check_setup_signer(held.get(), path.c_str()); !signer.ok()) {
        return signer.take_failure();
    }
    return held;
}

// The stored setup's path, its folder made on the way.
Result<std::wstring> setup_path_for(const std::string& version) {
    if (!version_is_safe_in_file_name(version)) return os_failure(ERROR_INVALID_NAME);
    auto found = download_folder();
    if (!found.ok()) return found.take_failure();
    const std::wstring& folder = found.value();
    std::wstring setup_path = join_path(folder, to_wide(setup_file_name(version)));
    // A path the system cannot open would fail only after the whole download.
    if (setup_path.size() >= MAX_PATH) return os_failure(ERROR_FILENAME_EXCED_RANGE);
    create_folder_chain(folder);
    return setup_path;
}

// Fetches the setup program, stores it whole at `path` and holds it.
// Nothing is created before the body is complete and matches its digest, so
// an earlier file of the same name stays as it was otherwise.
Result<UniqueFile> store_setup(const WorkerChannel& channel, const std::wstring& path,
                               const std::string& setup_url, const std::optional<Sha256>& sha256) {
    Sha256 downloaded;
    {
        const ProgressSink sink{channel};
        auto body = http_get(setup_url, &sink);
        if (!body.ok()) return body.take_failure();
        auto digest = sha256_of(body.value().data(), body.value().size());
        if (!digest.ok()) return digest.take_failure();
        downloaded = digest.value();
        if (sha256) {
            if (Status same = check_sha256(*sha256, downloaded); !same.ok()) {
                return same.take_failure();
            }
        }
        if (Status written = write_setup(path, body.value()); !written.ok()) {
            return written.take_failure();
        }
        log_event("stored %, % bytes, SHA-256 %",
                  {from_wide_lossy(path), LogNumber(body.value().size()), sha256_text(downloaded)});
    }  // the body is freed before the file is read back
    return hold_and_check(path, downloaded);
}

}  // namespace

void start_download_and_install(const WorkerChannel& channel, std::string version,
                                std::string setup_url, std::optional<Sha256> sha256) {
    spawn_detached(
        [channel, version = std::move(version), url = std::move(setup_url), sha256]() mutable {
            download_and_install(channel, std::move(version), std::move(url), sha256);
        });
}

void download_and_install(const WorkerChannel& channel, std::string version, std::string setup_url,
                          std::optional<Sha256> sha256, const ProcessLauncher& launcher) {
    auto path = setup_path_for(version);
    // The body is gone before the installer runs; the held file stays open
    // until the installer has started.
    auto held = path.ok() ? store_setup(channel, path.value(), setup_url, sha256)
                          : Result<UniqueFile>(path.take_failure());
    if (!held.ok()) {
        post_failure(channel, held.take_failure());
        return;
    }
    run_installer(channel, std::move(path.value()), std::move(version), launcher,
                  std::move(held.value()));
}
