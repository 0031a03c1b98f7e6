#pragma once

#include <optional>
#include <string>

#include "base/sha256.h"
#include "release/installer.h"
#include "report/worker_channel.h"

// Starts the download-and-install worker on a detached thread that owns its
// copies of the version text, the setup URL and the setup's digest.
void start_download_and_install(const WorkerChannel& channel, std::string version,
                                std::string setup_url, std::optional<Sha256> sha256);

// What may happen to the stored setup in the moment between the close of its
// partial file and the open that holds it: nothing, unless a test puts in a
// program of its own that changes or replaces the file.
using BeforeHold = void (*)(const std::wstring& setup_path);

// The worker: fetch the setup program, check it against its digest when the
// manifest gave one, store it under the temporary directory, check its signer
// when the bootstrapper is signed, run it, and post the outcome.
void download_and_install(const WorkerChannel& channel, std::string version, std::string setup_url,
                          std::optional<Sha256> sha256 = std::nullopt,
                          const ProcessLauncher& launcher = kSystemLauncher,
                          BeforeHold before_hold = nullptr);
