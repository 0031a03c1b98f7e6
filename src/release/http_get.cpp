#include "release/http_get.h"

#include <winhttp.h>

#include <algorithm>
#include <cstdint>
#include <optional>

#include "app_info.h"
#include "release/http_rules.h"
#include "text/utf.h"
#include "win32/handles.h"
#include "win32/system_library.h"

namespace {

std::optional<std::uint64_t> announced_length(HINTERNET request) {
    WideChar buffer[64] = {};
    DWORD byte_length = sizeof buffer;
    if (!::WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX,
                               buffer, &byte_length, WINHTTP_NO_HEADER_INDEX)) {
        return std::nullopt;
    }
    return content_length_from_header(buffer, byte_length);
}

std::optional<DWORD> status_code(HINTERNET request) {
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!::WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                               WINHTTP_HEADER_NAME_BY_INDEX, &status, &size,
                               WINHTTP_NO_HEADER_INDEX)) {
        return std::nullopt;
    }
    return status;
}

// Reads until the server says the body has ended. A failed query or read in
// the middle of the body is an interrupted download, not an end.
Result<Body> read_body(HINTERNET request, std::optional<std::uint64_t> total,
                       const ProgressSink* sink, std::optional<BodyLimit> limit) {
    const bool with_progress = reports_progress(sink != nullptr, total);
    const std::uint64_t most = limit ? limit->bytes : UINT64_MAX;
    if (limit && total && *total > most) return Failure{limit->too_large};
    Body body;
    // One allocation when the size is known: a large setup must not cost twice
    // its size while the buffer grows. A body that cannot be held fails here,
    // before any of it is fetched.
    if (total && (*total > SIZE_MAX || !body.reserve(static_cast<std::size_t>(*total)))) {
        return Failure{kOutOfMemory};
    }
    std::uint64_t received = 0;
    for (;;) {
        DWORD available = 0;
        if (!::WinHttpQueryDataAvailable(request, &available)) return Failure{kInterrupted};
        if (available == 0) break;
        if (limit && available > most - received) return Failure{limit->too_large};
        char* room = body.room_for(available);
        if (room == nullptr) return Failure{kOutOfMemory};
        DWORD read = 0;
        if (!::WinHttpReadData(request, room, available, &read)) return Failure{kInterrupted};
        body.commit(read);
        received += read;
        if (with_progress) {
            ProgressStep step = progress_step(received, *total);
            post_worker_message(sink->channel,
                                {WorkerMessage::Progress{std::move(step.detail), step.fraction}});
        }
    }
    // Some servers close early without any error from the system; only the
    // count against the announced length tells.
    if (body_was_cut(received, total)) return Failure{kInterrupted};
    return body;
}

}  // namespace

Result<Body> http_get(std::string_view url, const ProgressSink* sink,
                      std::optional<BodyLimit> limit) {
    auto parsed = parse_http_url(url);
    if (!parsed.ok()) return parsed.take_failure();
    const HttpUrl& target = parsed.value();
    if (Status loaded = load_system_library(L"winhttp.dll"); !loaded.ok()) {
        return loaded.take_failure();
    }

    const UniqueInternet session(::WinHttpOpen(to_wide(app::kAppName.c_str()).c_str(),
                                               WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                               WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) return Failure{"Failed to open WinHTTP session."};
    const UniqueInternet connection(
        ::WinHttpConnect(session.get(), to_wide(target.host).c_str(), target.port, 0));
    if (!connection) return Failure{"Failed to connect to download server."};
    const UniqueInternet request(::WinHttpOpenRequest(
        connection.get(), to_wide("GET").c_str(), to_wide(target.path).c_str(), nullptr,
        WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, target.secure ? WINHTTP_FLAG_SECURE : 0));
    if (!request) return Failure{"Failed to create download request."};
    if (!::WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                              WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !::WinHttpReceiveResponse(request.get(), nullptr)) {
        return Failure{"Download request failed."};
    }
    // An error page is never handed on as a body.
    if (const auto status = status_code(request.get())) {
        if (Status checked = check_http_status(*status); !checked.ok()) {
            return checked.take_failure();
        }
    }
    return read_body(request.get(), announced_length(request.get()), sink, limit);
}
