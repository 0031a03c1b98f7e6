#include "release/http_rules.h"

#include <algorithm>

#include "base/decimal.h"
#include "release/format_size.h"

Result<HttpUrl> parse_http_url(std::string_view url) {
    HttpUrl parsed;
    std::string_view rest;
    if (url.starts_with("https://")) {
        rest = url.substr(8);
        parsed.secure = true;
        parsed.port = 443;
    } else if (url.starts_with("http://")) {
        rest = url.substr(7);
        parsed.secure = false;
        parsed.port = 80;
    } else {
        return Failure{"Only HTTP and HTTPS URLs are supported."};
    }
    const auto slash = rest.find('/');
    parsed.host = std::string(rest.substr(0, slash));
    parsed.path = slash == std::string_view::npos ? "/" : "/" + std::string(rest.substr(slash + 1));
    if (parsed.host.empty()) {
        return Failure{"Download URL is missing a host."};
    }
    return parsed;
}

std::optional<std::uint64_t> parse_content_length(std::string_view text) {
    if (text.starts_with('+')) text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

std::optional<std::uint64_t> content_length_from_header(const WideChar* units,
                                                        std::uint32_t byte_length) {
    const std::size_t count = std::min<std::size_t>(byte_length / 2, 64);
    std::string text = from_wide_lossy(WideView(units, count));
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return parse_content_length(text);
}

Status check_http_status(std::uint32_t status) {
    if (status >= 200 && status <= 299) return {};
    return Failure{"Server returned HTTP status " + decimal(status) + "."};
}

ProgressStep progress_step(std::uint64_t received, std::uint64_t total) {
    const float fraction = static_cast<float>(received) / static_cast<float>(total);
    return {format_size(received) + " / " + format_size(total), std::min(1.0f, fraction)};
}

// TEMPORARY minimal versions; replaced by the full rules.
bool is_redirect(std::uint32_t status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

Result<std::string> redirect_target(std::string_view current, std::string_view location,
                                    unsigned hops_taken) {
    if (hops_taken >= kMostRedirects || location.empty()) return Failure{kRequestFailed};
    std::string next;
    if (location.starts_with("https://") || location.starts_with("http://")) {
        next = std::string(location);
    } else if (location.starts_with("/")) {
        const auto scheme_end = current.find("://") + 3;
        next =
            std::string(current.substr(0, current.find('/', scheme_end))) + std::string(location);
    } else {
        return Failure{kRequestFailed};
    }
    if (current.starts_with("https://") && next.starts_with("http://"))
        return Failure{kRequestFailed};
    return next;
}

std::optional<ContentRange> parse_content_range(std::string_view text) {
    if (!text.starts_with("bytes ")) return std::nullopt;
    text.remove_prefix(6);
    const auto dash = text.find('-'), slash = text.find('/');
    if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash)
        return std::nullopt;
    const auto first = parse_content_length(text.substr(0, dash));
    const auto last = parse_content_length(text.substr(dash + 1, slash - dash - 1));
    const auto total = parse_content_length(text.substr(slash + 1));
    if (!first || !last || !total || *first > *last || *last >= *total) return std::nullopt;
    return ContentRange{*first, *last, *total};
}
