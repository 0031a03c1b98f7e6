// The decisions of a transfer that survives a flaky link, without the
// platform: which failures are tried again and after how long, when a partial
// download may be continued, and what an answer to a continued request means.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/sha256.h"

// How one attempt ended, as far as trying again goes.
enum class AttemptFault : std::uint8_t {
    none,
    system,  // a WinHTTP or socket step failed: `code` is the system's
    status,  // the server answered outside 200-299: `code` is the status
    cut,     // the body ended before its announced length
    final,   // anything else: a refused redirect, the disk, a bad URL
};

struct AttemptEnd {
    AttemptFault fault = AttemptFault::none;
    std::uint32_t code = 0;
};

// No connection, a reset, an abort, a time-out, a name that does not resolve
// (Wi-Fi coming back looks like this), a body cut short, and the statuses that
// say "later": 408, 429, 500, 502, 503, 504. Certificate failures and every
// other status are final.
[[nodiscard]] bool is_transient(const AttemptEnd& end);

inline constexpr unsigned kMostRetries = 5;
inline constexpr std::uint32_t kLongestRetryAfter = 60;
inline constexpr std::uint64_t kLeastProgress = 64 * 1024;

// The waits between attempts: 1, 2, 4, 8 and 16 s, or a longer Retry-After
// in seconds (at most 60), within 20 % either way so that a fleet does not
// come back all at once. The count starts again after progress: when the
// bytes held reach kLeastProgress beyond those at the last progress, or the
// end of the file. A trickle (a byte, then a drop) is none.
class RetrySchedule {
public:
    // `held`: the bytes already held before the first attempt.
    explicit RetrySchedule(std::uint64_t held = 0) : most_held_(held) {}

    // After a transient failure that left `held` bytes of `total`: the wait
    // in milliseconds, or nothing when the retries are used up. `random` is
    // any 32-bit value.
    [[nodiscard]] std::optional<std::uint32_t> next_wait(std::uint64_t held,
                                                         std::optional<std::uint64_t> total,
                                                         std::optional<std::uint32_t> retry_after,
                                                         std::uint32_t random);
    // Retries since the last progress.
    [[nodiscard]] unsigned retries() const { return retries_; }

private:
    std::uint64_t most_held_;
    unsigned retries_ = 0;
};

// Retry-After in seconds ("120"); nothing for a date or anything else.
[[nodiscard]] std::optional<std::uint32_t> parse_retry_after(std::string_view text);

// What is kept beside a partial download so that a later attempt, in this
// run or the next, may continue it.
struct ResumeRecord {
    Sha256 url_digest{};    // the SHA-256 of the whole URL, which may carry a token
    std::string validator;  // a strong ETag, or else Last-Modified; empty: none
    std::uint64_t total = 0;
};

// Three lines, "url-sha256 <hex>", "validator <text>", "total <n>".
[[nodiscard]] std::string record_text(const ResumeRecord& record);
[[nodiscard]] std::optional<ResumeRecord> parse_record(std::string_view text);

// The strong ETag, or else Last-Modified, or nothing: a weak ETag ("W/...")
// does not promise the same bytes.
[[nodiscard]] std::string choose_validator(std::string_view etag, std::string_view last_modified);

// What a body from byte 0 leaves to resume it by, in place of any earlier
// record: its total with the validator, or with none when the manifest's
// digest will catch a splice; nothing without a total or a way to check.
[[nodiscard]] std::optional<ResumeRecord> record_of_answer(const Sha256& url_digest,
                                                           std::optional<std::uint64_t> total,
                                                           std::string_view etag,
                                                           std::string_view last_modified,
                                                           bool has_digest);

// Where the next request starts: the partial file's size, when its record is
// for this URL and the part can be checked, with the validator for If-Range;
// else byte 0. A part without a validator is continued only when the
// manifest's digest will catch a splice.
struct ResumePlan {
    std::uint64_t offset = 0;
    std::string validator;
};
[[nodiscard]] ResumePlan plan_resume(const std::optional<ResumeRecord>& record,
                                     const Sha256& url_digest, std::uint64_t partial_size,
                                     bool has_digest);

enum class AnswerUse : std::uint8_t {
    append,     // 206 with exactly the rest: it follows the partial file
    from_zero,  // the whole file, perhaps a new one: it replaces the partial file
    restart,    // 416, or a part that does not fit: ask again for the whole file
    refuse,     // a part nobody asked for, or a length that is not the part's
};

struct Answer {
    AnswerUse use = AnswerUse::refuse;
    std::optional<std::uint64_t> total;  // the whole file's length, when known
};

// What a 2xx or 416 answer with Content-Length `length` and `content_range`
// means for a request that asked for bytes from `offset` on (0: the whole
// file) of a file of `total` bytes. A 206's total is its Content-Range's.
[[nodiscard]] Answer use_of_answer(std::uint64_t offset, std::uint64_t total, std::uint32_t status,
                                   std::string_view content_range,
                                   std::optional<std::uint64_t> length);

// From Windows 7 SP1 to 8.0 WinHTTP offers TLS 1.2 only when asked; from 8.1
// on the system's default is better (it has TLS 1.3 where Windows does).
[[nodiscard]] bool asks_for_tls12(std::uint32_t major, std::uint32_t minor);
