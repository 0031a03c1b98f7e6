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
