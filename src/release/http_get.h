#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string_view>

#include "base/byte_buffer.h"
#include "base/result.h"
#include "report/worker_channel.h"

// When present, the transfer reports Progress on this channel after every
// read while the length is announced.
struct ProgressSink {
    WorkerChannel channel;
};

using Body = ByteBuffer;

// The most a body may hold, and the sentence when a server sends more.
struct BodyLimit {
    std::uint64_t bytes;
    const char* too_large;
};

// One GET through WinHTTP, the whole body in memory. Fails with a short
// sentence: a step that failed, a status outside 200-299, a body that ended
// before its announced length, one larger than `limit`, or one that does not
// fit in memory.
[[nodiscard]] Result<Body> http_get(std::string_view url, const ProgressSink* sink,
                                    std::optional<BodyLimit> limit = std::nullopt);
