// The parts of a transfer that need no network: URL splitting (for the
// request and the log alike), the announced length, the status check and the
// progress step.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"
#include "text/utf.h"

struct HttpUrl {
    std::string host;  // never empty; no userinfo, no port; an IPv6 literal keeps its brackets
    std::string path;  // the object name: begins with "/", the query kept, the fragment dropped
    std::uint16_t port = 443;  // the one the URL gives, or the scheme's
    bool secure = true;
};

inline constexpr const char* kInvalidPort = "Download URL has an invalid port.";

// "https://" or "http://" (the scheme in any case), then the authority up to
// the first "/", "?" or "#": userinfo (up to its last "@") dropped, an IPv6
// literal in brackets, an optional ":port" (1-65535; ":" alone is the
// scheme's). An unclosed "[" or text after "]" other than ":port" is an
// invalid port; a bad port is reported before an empty host ("[]" included).
[[nodiscard]] Result<HttpUrl> parse_http_url(std::string_view url);

// A URL, a PAC file's address or one entry of a proxy list ("host:port",
// "scheme=" in front allowed) as the log may show it: without userinfo, query
// or fragment, which may carry a password or a token. The userinfo is found by
// parse_http_url's rule; in a text that rule refuses it may hold anything, so
// all up to the last "@" goes. Every line that names a URL goes through it.
[[nodiscard]] std::string url_for_log(std::string_view url);

// A proxy list, entries apart at ";" or blanks, each as url_for_log shows it.
[[nodiscard]] std::string proxy_list_for_log(std::string_view list);

inline constexpr const char* kRequestFailed = "Download request failed.";
inline constexpr unsigned kMostRedirects = 10;

// 301, 302, 303, 307 and 308: the answers that are followed.
[[nodiscard]] bool is_redirect(std::uint32_t status);

// The URL that a redirect from `current` leads to, its Location resolved
// against `current` when relative (RFC 3986: the scheme in any case, dot
// segments removed from every path). Fails
// with kRequestFailed when there is no usable Location (empty, a blank or
// control character, another scheme, a result parse_http_url refuses), when
// an https URL would lead to http, or when `hops_taken` redirects have
// already been followed and that is kMostRedirects.
[[nodiscard]] Result<std::string> redirect_target(std::string_view current,
                                                  std::string_view location, unsigned hops_taken);

// A Content-Range answer, "bytes <first>-<last>/<total>".
struct ContentRange {
    std::uint64_t first = 0;
    std::uint64_t last = 0;
    std::uint64_t total = 0;
};

// Exactly "bytes " and three unsigned decimals with first <= last < total;
// nothing for anything else ("*" for the total, blanks, a sign, overflow).
[[nodiscard]] std::optional<ContentRange> parse_content_range(std::string_view text);

// An unsigned decimal with an optional "+", nothing else; nothing when it is
// not one or does not fit 64 bits.
[[nodiscard]] std::optional<std::uint64_t> parse_content_length(std::string_view text);

// The Content-Length text as the system returns it: up to 64 UTF-16 units of
// a buffer, `byte_length` long, trailing NULs dropped.
[[nodiscard]] std::optional<std::uint64_t> content_length_from_header(const WideChar* units,
                                                                      std::uint32_t byte_length);

[[nodiscard]] inline bool is_success(std::uint32_t status) {
    return status >= 200 && status <= 299;
}

// "Server returned HTTP status 404."
[[nodiscard]] Failure http_status_failure(std::uint32_t status);

// Fails with http_status_failure for a final status outside 200-299.
[[nodiscard]] Status check_http_status(std::uint32_t status);

inline constexpr const char* kInterrupted = "Download was interrupted.";
inline constexpr const char* kOutOfMemory = "Not enough memory to hold the download.";
inline constexpr const char* kNoDiskSpace = "Not enough disk space for the download.";

// A body shorter than its announced length was cut off in transit.
[[nodiscard]] inline bool body_was_cut(std::uint64_t received, std::optional<std::uint64_t> total) {
    return total && received < *total;
}

struct ProgressStep {
    std::string detail;  // "12.5 MB / 48.0 MB"
    float fraction;      // at most 1.0
};

// The line and fraction posted after a read; the fraction is capped at 1.0
// when more arrives than was announced.
[[nodiscard]] ProgressStep progress_step(std::uint64_t received, std::uint64_t total);
