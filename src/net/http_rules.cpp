#include "net/http_rules.h"

#include <algorithm>

#include "base/decimal.h"
#include "text/format_size.h"

namespace {

// One or more ASCII digits, no sign, fitting 64 bits.
std::optional<std::uint64_t> parse_digits(std::string_view text) {
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

// RFC 3986's remove_dot_segments, for a path that begins with "/".
std::string remove_dot_segments(std::string_view in) {
    std::string out;
    const auto drop_last = [&out] { out.erase(std::min(out.size(), out.rfind('/'))); };
    while (!in.empty()) {
        if (in.starts_with("/./")) {
            in.remove_prefix(2);
        } else if (in == "/.") {
            in = "/";
        } else if (in.starts_with("/../")) {
            in.remove_prefix(3);
            drop_last();
        } else if (in == "/..") {
            in = "/";
            drop_last();
        } else {
            const std::size_t end = std::min(in.size(), in.find('/', 1));
            out += in.substr(0, end);
            in.remove_prefix(end);
        }
    }
    return out;
}

// The length of "https://" or "http://" at the start of `url`, in any case
// (RFC 3986 3.1), or 0.
std::size_t http_scheme_length(std::string_view url) {
    for (const std::string_view scheme : {"https://", "http://"}) {
        if (url.size() >= scheme.size() &&
            std::equal(scheme.begin(), scheme.end(), url.begin(), [](char want, char c) {
                return want == (want >= 'a' ? c | 0x20 : c);  // a letter in either case
            })) {
            return scheme.size();
        }
    }
    return 0;
}

// What follows "scheme://" up to the first "/", "?" or "#", by the one rule
// that the request and the log share: the userinfo to its last "@", then the
// host and its port.
struct UrlAuthority {
    std::size_t host_at = 0;  // where the host begins: after the userinfo
    std::size_t end = 0;      // where the path, query or fragment begins
    std::string_view host;
    std::optional<std::uint16_t> port;  // nothing: the scheme's
    const char* fault = nullptr;        // why this is no URL's authority
};

UrlAuthority split_authority(std::string_view rest) {
    UrlAuthority found;
    found.end = std::min(rest.size(), rest.find_first_of("/?#"));
    std::string_view host = rest.substr(0, found.end);
    found.host_at = host.rfind('@') + 1;  // npos + 1: no userinfo
    host.remove_prefix(found.host_at);

    // An IPv6 literal keeps its brackets; an unclosed one leaves no host and
    // the whole text in the port's place.
    std::size_t host_end = std::min(host.size(), host.find(':'));
    if (host.starts_with('[')) host_end = host.find(']') + 1;
    const std::string_view port = host.substr(host_end);
    found.host = host.substr(0, host_end);
    if (!port.empty()) {
        const auto number = parse_digits(port.substr(1));
        if (port[0] != ':' || (port.size() > 1 && (!number || *number == 0 || *number > 65535))) {
            found.fault = kInvalidPort;
        } else if (number) {
            found.port = static_cast<std::uint16_t>(*number);
        }
    }
    if (!found.fault && (found.host.empty() || found.host == "[]")) {
        found.fault = "Download URL is missing a host.";
    }
    return found;
}

}  // namespace

Result<HttpUrl> parse_http_url(std::string_view url) {
    const std::size_t scheme = http_scheme_length(url);
    if (scheme == 0) return Failure{"Only HTTP and HTTPS URLs are supported."};
    const std::string_view rest = url.substr(scheme);
    const UrlAuthority authority = split_authority(rest);
    if (authority.fault) return Failure{authority.fault};
    HttpUrl parsed;
    parsed.secure = scheme == 8;
    parsed.host = authority.host;
    parsed.port = authority.port.value_or(parsed.secure ? 443 : 80);

    // WinHTTP's object name: the path and query, never the fragment.
    const std::string_view tail = rest.substr(authority.end);
    if (!tail.starts_with('/')) parsed.path = "/";
    parsed.path += tail.substr(0, tail.find('#'));
    return parsed;
}

std::string url_for_log(std::string_view url) {
    // Any scheme's "scheme://" is kept; a proxy entry may have none.
    const std::size_t scheme_end = std::min(url.size(), url.find_first_of(":/@"));
    const std::size_t kept = url.substr(scheme_end, 3) == "://" ? scheme_end + 3 : 0;
    std::string out(url.substr(0, kept));
    url.remove_prefix(kept);
    const UrlAuthority authority = split_authority(url);
    url.remove_prefix(authority.fault ? url.rfind('@') + 1 : authority.host_at);
    out += url.substr(0, url.find_first_of("?#"));
    return out;
}

std::string proxy_list_for_log(std::string_view list) {
    std::string out;
    while (!list.empty()) {
        const std::size_t entry_start = std::min(list.size(), list.find_first_not_of("; \t"));
        out += list.substr(0, entry_start);
        list.remove_prefix(entry_start);
        std::string_view entry = list.substr(0, list.find_first_of("; \t"));
        list.remove_prefix(entry.size());
        // "https=" in front of the entry: kept.
        if (const std::size_t equals = entry.find('='); equals < entry.find_first_of(":/@[")) {
            out += entry.substr(0, equals + 1);
            entry.remove_prefix(equals + 1);
        }
        out += url_for_log(entry);
    }
    return out;
}

bool is_redirect(std::uint32_t status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

Result<std::string> redirect_target(std::string_view current, std::string_view location,
                                    unsigned hops_taken) {
    const Result<HttpUrl> from = parse_http_url(current);
    if (hops_taken >= kMostRedirects || !from.ok() || location.empty() ||
        std::any_of(location.begin(), location.end(),
                    [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == 0x7F; })) {
        return Failure{kRequestFailed};
    }
    // The scheme and authority, of the Location or else of `current`; then
    // the path, resolved and without dot segments, the query and fragment.
    const std::size_t colon = location.find(':');
    const bool own_scheme = colon < location.find_first_of("/?#");
    std::string_view reference = own_scheme ? location.substr(colon + 1) : location;
    std::string target(own_scheme ? location : current, 0,
                       own_scheme ? colon + 1 : current.find(':') + 1);
    std::string_view base = from.value().path;
    if (reference.starts_with("//")) {
        const std::size_t authority_end = 2 + split_authority(reference.substr(2)).end;
        target += reference.substr(0, authority_end);
        reference.remove_prefix(authority_end);
        base = {};
    } else if (own_scheme) {
        return Failure{kRequestFailed};  // "mailto:x", "d:e": no authority
    } else {
        const std::size_t scheme = http_scheme_length(current);
        target += current.substr(scheme - 2, split_authority(current.substr(scheme)).end + 2);
    }
    const std::size_t base_query = std::min(base.size(), base.find('?'));
    const std::size_t ref_end = std::min(reference.size(), reference.find_first_of("?#"));
    const std::string_view ref_path = reference.substr(0, ref_end);
    if (ref_path.empty()) {
        target += base.substr(0, reference.starts_with('?') ? base_query : base.size());
    } else {
        std::string path(
            ref_path.starts_with('/') ? "" : base.substr(0, base.rfind('/', base_query) + 1));
        path += ref_path;
        target += remove_dot_segments(path);
    }
    target += reference.substr(ref_end);
    const Result<HttpUrl> to = parse_http_url(target);
    if (!to.ok() || (from.value().secure && !to.value().secure)) return Failure{kRequestFailed};
    return target;
}

std::optional<ContentRange> parse_content_range(std::string_view text) {
    if (!text.starts_with("bytes ")) return std::nullopt;
    text.remove_prefix(6);
    const std::size_t dash = text.find('-');
    const std::size_t slash = text.find('/', dash);
    if (slash == std::string_view::npos) return std::nullopt;
    const auto first = parse_digits(text.substr(0, dash));
    const auto last = parse_digits(text.substr(dash + 1, slash - dash - 1));
    const auto total = parse_digits(text.substr(slash + 1));
    if (!first || !last || !total || *first > *last || *last >= *total) return std::nullopt;
    return ContentRange{*first, *last, *total};
}

std::optional<std::uint64_t> parse_content_length(std::string_view text) {
    if (text.starts_with('+')) text.remove_prefix(1);
    return parse_digits(text);
}

std::optional<std::uint64_t> content_length_from_header(const WideChar* units,
                                                        std::uint32_t byte_length) {
    const std::size_t count = std::min<std::size_t>(byte_length / 2, 64);
    std::string text = from_wide_lossy(WideView(units, count));
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return parse_content_length(text);
}

Failure http_status_failure(std::uint32_t status) {
    std::string text = "Server returned HTTP status ";
    text += decimal(status);
    text += '.';
    return {std::move(text)};
}

Status check_http_status(std::uint32_t status) {
    if (is_success(status)) return {};
    return http_status_failure(status);
}

ProgressStep progress_step(std::uint64_t received, std::uint64_t total) {
    const float fraction = static_cast<float>(received) / static_cast<float>(total);
    std::string detail = format_size(received);
    detail += " / ";
    detail += format_size(total);
    return {std::move(detail), std::min(1.0f, fraction)};
}
