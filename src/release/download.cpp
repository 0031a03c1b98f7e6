#include "release/download.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "net/transfer.h"
#include "release/download_rules.h"
#include "release/held_file.h"
#include "release/installer.h"
#include "support/log.h"
#include "text/utf.h"
#include "trust/signature.h"
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

// Deletes the setups of other versions, with their partial downloads, and
// nothing else. One still running stays: the system refuses.
void remove_other_versions(const std::wstring& folder, const std::string& setup_name) {
    WIN32_FIND_DATAW found;
    const UniqueFind search(::FindFirstFileW(join_path(folder, L"*").c_str(), &found));
    if (!search) return;
    do {
        if (is_other_version_file(from_wide_lossy(found.cFileName), setup_name)) {
            ::DeleteFileW(join_path(folder, found.cFileName).c_str());
        }
    } while (::FindNextFileW(search.get(), &found));
}

const char* const kSetupChanged = "Downloaded setup changed before it could be run.";

// Opens the written file again for reading only, denying writers and
// deleters until the handle is closed, and checks through that handle what
// will run: that it is still the file the download closed (nothing changed or
// replaced it in the moment between closing and opening), and its signer.
Result<UniqueFile> hold_and_check(const std::wstring& path, const FileIdentity& stored) {
    UniqueFile held(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!held) return last_os_failure();
    auto identity = file_identity(held.get());
    if (!identity.ok()) return identity.take_failure();
    if (identity.value() != stored) return Failure{kSetupChanged};
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
    const std::string name = setup_file_name(version);
    std::wstring setup_path = join_path(folder, to_wide(name));
    // A path the system cannot open would fail only after the whole download.
    if (partial_path(setup_path).size() >= MAX_PATH) {
        return os_failure(ERROR_FILENAME_EXCED_RANGE);
    }
    create_folder_chain(folder);
    remove_other_versions(folder, name);
    return setup_path;
}

// Fetches the setup program to `path`, complete and matching its digest, and
// holds it.
Result<UniqueFile> store_setup(const WorkerChannel& channel, const std::wstring& path,
                               const std::string& setup_url, const std::optional<Sha256>& sha256,
                               BeforeHold before_hold) {
    auto downloaded = download_to_file(channel, path, setup_url, sha256);
    if (!downloaded.ok()) return downloaded.take_failure();
    if (Status stored = retry_while_held("rename", [&] { return store_partial(path); });
        !stored.ok()) {
        return stored.take_failure();
    }
    if (before_hold != nullptr) before_hold(path);
    UniqueFile held;
    Status checked = retry_while_held("open", [&]() -> Status {
        auto opened = hold_and_check(path, downloaded.value().identity);
        if (!opened.ok()) return opened.take_failure();
        held = std::move(opened.value());
        return {};
    });
    if (!checked.ok()) return checked.take_failure();
    return held;
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
                          std::optional<Sha256> sha256, const ProcessLauncher& launcher,
                          BeforeHold before_hold) {
    auto path = setup_path_for(version);
    // The held file stays open until the installer has ended.
    auto held = path.ok() ? store_setup(channel, path.value(), setup_url, sha256, before_hold)
                          : Result<UniqueFile>(path.take_failure());
    if (!held.ok()) {
        post_failure(channel, held.take_failure());
        return;
    }
    run_installer(channel, std::move(path.value()), std::move(version), launcher,
                  std::move(held.value()));
}
