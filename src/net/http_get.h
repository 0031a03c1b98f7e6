#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"
#include "net/proxy.h"
#include "net/transfer_rules.h"

// What a final answer says of itself, read before its body.
struct ResponseHead {
    std::uint32_t status = 0;
    std::optional<std::uint64_t> length;  // Content-Length
    std::string content_range;            // empty: none
    std::string etag;
    std::string last_modified;
    std::optional<std::uint32_t> retry_after;  // seconds
};

// Where a body goes, piece by piece, as it arrives.
class BodyTarget {
public:
    // The final answer's head, before any of its body: fails to refuse it
    // (a status outside 200-299 by default, or no room for it).
    [[nodiscard]] virtual Status begin(const ResponseHead& head) = 0;
    [[nodiscard]] virtual Status write(const char* data, std::size_t size) = 0;

protected:
    ~BodyTarget() = default;
};

// How one attempt ended: the failure's sentence, if any, and what decides
// whether it is tried again.
struct HttpOutcome {
    Status result;
    AttemptEnd end;
    ResponseHead head;           // status 0 when no final answer arrived
    std::uint64_t received = 0;  // body bytes handed to the target
};

// One attempt at a GET: redirects followed hop by hop (at most 10, never from
// https to http), the proxy chosen for each hop's URL by `proxies`, the
// transfer's, `headers` ("Name: value\r\n" each) sent with every hop. The final answer's body goes
// to `target`; a body that ends before its announced length fails. Each hop and the end go to the
// support log.
[[nodiscard]] HttpOutcome http_get(std::string_view url, std::string_view headers,
                                   BodyTarget& target, ProxyLookup& proxies);
