#include "net/http_get.h"

#include <winhttp.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>

#include "net/http_rules.h"
#include "net/proxy.h"
#include "support/log.h"
#include "support/log_line.h"
#include "text/utf.h"
#include "win32/handles.h"
#include "win32/system.h"
#include "win32/system_library.h"

namespace {

// How long an answer may keep us waiting for its headers.
constexpr DWORD kResponseTimeoutMs = 60000;
constexpr DWORD kReadPiece = 1 << 16;

// A failed WinHTTP step: the sentence the window shows, and in the log the
// system's code and text behind it.
Failure step_failure(const char* message, AttemptEnd& end, AttemptFault fault) {
    const DWORD code = ::GetLastError();
    log_event("% %", {message, os_error_text(code)});
    end = {fault, code};
    return {message, code};
}

// A header's text, whole, or empty when the answer has none.
std::string header_text(HINTERNET request, DWORD query) {
    DWORD bytes = 0;
    ::WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER,
                          &bytes, WINHTTP_NO_HEADER_INDEX);
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || bytes == 0) return {};
    WideText text(bytes / sizeof(WideChar), L'\0');
    if (!::WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &bytes,
                               WINHTTP_NO_HEADER_INDEX)) {
        return {};
    }
    text.resize(bytes / sizeof(WideChar));
    return from_wide_lossy(text);
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

ResponseHead head_of(HINTERNET request, DWORD status) {
    ResponseHead head;
    head.status = status;
    WideChar buffer[64] = {};
    DWORD byte_length = sizeof buffer;
    if (::WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX,
                              buffer, &byte_length, WINHTTP_NO_HEADER_INDEX)) {
        head.length = content_length_from_header(buffer, byte_length);
    }
    head.content_range = header_text(request, WINHTTP_QUERY_CONTENT_RANGE);
    head.etag = header_text(request, WINHTTP_QUERY_ETAG);
    head.last_modified = header_text(request, WINHTTP_QUERY_LAST_MODIFIED);
    head.retry_after = parse_retry_after(header_text(request, WINHTTP_QUERY_RETRY_AFTER));
    return head;
}

// Reads until the server says the body has ended. A failed query or read in
// the middle of the body is an interrupted download, not an end.
Status read_body(HINTERNET request, BodyTarget& target, HttpOutcome& out) {
    const auto piece = std::make_unique<char[]>(kReadPiece);
    const std::optional<std::uint64_t> total = out.head.length;
    unsigned logged_tenth = 0;
    for (;;) {
        DWORD available = 0;
        if (!::WinHttpQueryDataAvailable(request, &available)) {
            return step_failure(kInterrupted, out.end, AttemptFault::cut);
        }
        if (available == 0) break;
        // A read larger than what is there waits for all of it, and a time-out
        // then loses what had arrived.
        DWORD read = 0;
        if (!::WinHttpReadData(request, piece.get(), std::min(available, kReadPiece), &read)) {
            return step_failure(kInterrupted, out.end, AttemptFault::cut);
        }
        if (Status written = target.write(piece.get(), read); !written.ok()) {
            out.end = {AttemptFault::final, written.os_error()};
            return written;
        }
        out.received += read;
        if (total && *total != 0) {
            if (const unsigned tenth = tenth_of(out.received, *total); tenth != logged_tenth) {
                logged_tenth = tenth;
                log_event("received % of % bytes", {LogNumber(out.received), LogNumber(*total)});
            }
        }
    }
    // Some servers close early without any error from the system; only the
    // count against the announced length tells.
    if (body_was_cut(out.received, total)) {
        out.end = {AttemptFault::cut, 0};
        return Failure{kInterrupted};
    }
    return {};
}

// One request of the hop to `url`: its answer's status, or the failure.
Result<DWORD> send(HINTERNET request, std::string_view headers, AttemptEnd& end) {
    // Redirects are ours to follow: each hop's URL gets its own proxy.
    DWORD value = WINHTTP_DISABLE_REDIRECTS;
    ::WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &value, sizeof value);
    value = kResponseTimeoutMs;
    ::WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &value, sizeof value);
    const WideText wide_headers = to_wide(headers);
    if (!::WinHttpSendRequest(
            request, headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : wide_headers.c_str(),
            headers.empty() ? 0 : static_cast<DWORD>(-1L), WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !::WinHttpReceiveResponse(request, nullptr)) {
        return step_failure(kRequestFailed, end, AttemptFault::system);
    }
    // An answer whose status cannot be read is no answer.
    const auto status = status_code(request);
    if (!status) return step_failure(kRequestFailed, end, AttemptFault::system);
    return *status;
}

Status fetch(std::string_view url, std::string_view headers, BodyTarget& target,
             ProxyLookup& proxies, HttpOutcome& out) {
    if (Status loaded = load_system_library(L"winhttp.dll"); !loaded.ok()) {
        out.end = {AttemptFault::final, loaded.os_error()};
        return loaded;
    }
    std::string current(url);
    for (unsigned hops = 0;; ++hops) {
        auto parsed = parse_http_url(current);
        if (!parsed.ok()) {
            out.end = {AttemptFault::final, 0};
            return parsed.take_failure();
        }
        const HttpUrl& target_url = parsed.value();
        const UniqueInternet session = proxies.open_session_for(current);
        if (!session) {
            return step_failure("Failed to open WinHTTP session.", out.end, AttemptFault::final);
        }
        const UniqueInternet connection(
            ::WinHttpConnect(session.get(), to_wide(target_url.host).c_str(), target_url.port, 0));
        if (!connection) {
            return step_failure("Failed to connect to download server.", out.end,
                                AttemptFault::system);
        }
        const UniqueInternet request(::WinHttpOpenRequest(
            connection.get(), L"GET", to_wide(target_url.path).c_str(), nullptr, WINHTTP_NO_REFERER,
            WINHTTP_DEFAULT_ACCEPT_TYPES, target_url.secure ? WINHTTP_FLAG_SECURE : 0));
        if (!request) {
            return step_failure("Failed to create download request.", out.end, AttemptFault::final);
        }
        auto status = send(request.get(), headers, out.end);
        if (!status.ok()) return status.take_failure();
        if (is_redirect(status.value())) {
            auto next =
                redirect_target(current, header_text(request.get(), WINHTTP_QUERY_LOCATION), hops);
            if (!next.ok()) {
                log_event("HTTP %, redirect refused", {LogNumber(status.value())});
                out.end = {AttemptFault::final, 0};
                return next.take_failure();
            }
            log_event("HTTP %, redirect to %",
                      {LogNumber(status.value()), url_for_log(next.value())});
            current = std::move(next.value());
            continue;
        }
        out.head = head_of(request.get(), status.value());
        if (Status taken = target.begin(out.head); !taken.ok()) {
            const bool success = is_success(out.head.status);
            out.end = {success ? AttemptFault::final : AttemptFault::status,
                       success ? taken.os_error() : out.head.status};
            return taken;
        }
        return read_body(request.get(), target, out);
    }
}

}  // namespace

HttpOutcome http_get(std::string_view url, std::string_view headers, BodyTarget& target,
                     ProxyLookup& proxies) {
    const DWORD started = ::GetTickCount();
    HttpOutcome out;
    out.result = fetch(url, headers, target, proxies, out);
    const LogNumber took(::GetTickCount() - started);
    if (out.head.status == 0) {
        log_event("no response in % ms", {took});
    } else {
        log_event("HTTP %, Content-Length %, received % bytes in % ms",
                  {LogNumber(out.head.status),
                   out.head.length ? std::string_view(LogNumber(*out.head.length)) : "none",
                   LogNumber(out.received), took});
    }
    return out;
}
