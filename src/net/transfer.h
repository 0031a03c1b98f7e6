// Transfers that survive a flaky link: each is a series of attempts
// (http_get), with waits between them after transient failures, and the
// setup's bytes kept on disk so that a later attempt, in this run or the
// next, continues where the last one stopped.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/byte_buffer.h"
#include "base/result.h"
#include "base/sha256.h"
#include "report/worker_channel.h"
#include "win32/system.h"

using Body = ByteBuffer;

// The most a body held in memory may be, and the sentence when a server
// sends more.
struct BodyLimit {
    std::uint64_t bytes;
    const char* too_large;
};

// A small file, such as the release manifest, whole in memory.
[[nodiscard]] Result<Body> fetch_to_memory(std::string_view url, BodyLimit limit);

// "<path>.partial", the bytes so far; beside it "<path>.resume", what a
// later attempt needs to continue them.
[[nodiscard]] std::wstring partial_path(const std::wstring& path);

// What download_to_file stored: the digest of its bytes, and the identity
// the file had as it was closed.
struct StoredFile {
    Sha256 digest;
    FileIdentity identity;
};

// The setup program, streamed to its partial file (which nobody else may
// write meanwhile) and hashed as it arrives, with Progress for the whole file
// on `channel`. Once the body is complete and matches `sha256`, when given,
// the partial file is closed, for store_partial, and its digest and identity
// are given.
[[nodiscard]] Result<StoredFile> download_to_file(const WorkerChannel& channel,
                                                  const std::wstring& path, std::string_view url,
                                                  const std::optional<Sha256>& sha256);

// Puts the finished partial file in place of `path` and drops its record.
[[nodiscard]] Status store_partial(const std::wstring& path);
