#include "release/http_get.h"

#include <winhttp.h>

#include <algorithm>
#include <cstdint>
#include <optional>

#include "release/http_rules.h"
#include "release/proxy.h"
#include "support/log.h"
#include "support/log_line.h"
#include "text/utf.h"
#include "win32/handles.h"
#include "win32/system.h"
#include "win32/system_library.h"

namespace {

// What the log says of a request once it has ended.
struct TransferFacts {
    DWORD status = 0;  // 0 before a response arrived
    std::optional<std::uint64_t> length;
    std::uint64_t received = 0;
};

// A failed WinHTTP step: the sentence the window shows, and in the log the
// system's code and text behind it.
Failure step_failure(const char* message) {
    const DWORD code = ::GetLastError();
    log_event("% %", {message, os_error_text(code)});
    return {message, code};
}

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
                       const ProgressSink* sink, std::optional<BodyLimit> limit,
                       TransferFacts& facts) {
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
    std::uint64_t& received = facts.received;
    unsigned logged_tenth = 0;
    for (;;) {
        DWORD available = 0;
        if (!::WinHttpQueryDataAvailable(request, &available)) return step_failure(kInterrupted);
        if (available == 0) break;
        if (limit && available > most - received) return Failure{limit->too_large};
        char* room = body.room_for(available);
        if (room == nullptr) return Failure{kOutOfMemory};
        DWORD read = 0;
        if (!::WinHttpReadData(request, room, available, &read)) return step_failure(kInterrupted);
        body.commit(read);
        received += read;
        if (total && *total != 0) {
            if (const unsigned tenth = tenth_of(received, *total); tenth != logged_tenth) {
                logged_tenth = tenth;
                log_event("received % of % bytes", {LogNumber(received), LogNumber(*total)});
            }
        }
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

// The request itself; `facts` collects what the log says of it.
Result<Body> fetch(std::string_view url, const ProgressSink* sink, std::optional<BodyLimit> limit,
                   TransferFacts& facts) {
    auto parsed = parse_http_url(url);
    if (!parsed.ok()) return parsed.take_failure();
    const HttpUrl& target = parsed.value();
    if (Status loaded = load_system_library(L"winhttp.dll"); !loaded.ok()) {
        return loaded.take_failure();
    }

    const UniqueInternet session = open_session_for(url);
    if (!session) return step_failure("Failed to open WinHTTP session.");
    const UniqueInternet connection(
        ::WinHttpConnect(session.get(), to_wide(target.host).c_str(), target.port, 0));
    if (!connection) return step_failure("Failed to connect to download server.");
    const UniqueInternet request(::WinHttpOpenRequest(
        connection.get(), to_wide("GET").c_str(), to_wide(target.path).c_str(), nullptr,
        WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, target.secure ? WINHTTP_FLAG_SECURE : 0));
    if (!request) return step_failure("Failed to create download request.");
    if (!::WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                              WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !::WinHttpReceiveResponse(request.get(), nullptr)) {
        return step_failure("Download request failed.");
    }
    facts.length = announced_length(request.get());
    // An error page is never handed on as a body.
    if (const auto status = status_code(request.get())) {
        facts.status = *status;
        if (Status checked = check_http_status(*status); !checked.ok()) {
            return checked.take_failure();
        }
    }
    return read_body(request.get(), facts.length, sink, limit, facts);
}

}  // namespace

Result<Body> http_get(std::string_view url, const ProgressSink* sink,
                      std::optional<BodyLimit> limit) {
    const DWORD started = ::GetTickCount();
    TransferFacts facts;
    auto body = fetch(url, sink, limit, facts);
    const LogNumber took(::GetTickCount() - started);
    if (facts.status == 0) {
        log_event("no response in % ms", {took});
    } else {
        log_event("HTTP %, Content-Length %, received % bytes in % ms",
                  {LogNumber(facts.status),
                   facts.length ? std::string_view(LogNumber(*facts.length)) : "none",
                   LogNumber(facts.received), took});
    }
    return body;
}
