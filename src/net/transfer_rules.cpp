#include "net/transfer_rules.h"

#include <algorithm>

#include "base/decimal.h"
#include "net/http_rules.h"
#include "trust/checksum_rules.h"

bool is_transient(const AttemptEnd& end) {
    switch (end.fault) {
        case AttemptFault::cut:
            return true;
        case AttemptFault::status:
            return end.code == 408 || end.code == 429 || end.code == 500 || end.code == 502 ||
                   end.code == 503 || end.code == 504;
        case AttemptFault::system:
            switch (end.code) {
                case 12002:  // timed out
                case 12007:  // name not resolved
                case 12029:  // cannot connect
                case 12030:  // connection aborted
                case 12031:  // connection reset
                case 12152:  // no valid answer: the server hung up
                case 10053:  // Wine's socket codes: aborted, reset, timed out, refused
                case 10054:
                case 10060:
                case 10061:
                    return true;
                default:
                    return false;
            }
        default:
            return false;
    }
}

std::optional<std::uint32_t> RetrySchedule::next_wait(std::uint64_t held,
                                                      std::optional<std::uint64_t> total,
                                                      std::optional<std::uint32_t> retry_after,
                                                      std::uint32_t random) {
    const std::uint64_t rest = total && *total > most_held_ ? *total - most_held_ : kLeastProgress;
    if (held > most_held_ && held - most_held_ >= std::min(kLeastProgress, rest)) {
        most_held_ = held;
        retries_ = 0;
    }
    if (retries_ == kMostRetries) return std::nullopt;
    std::uint32_t seconds = 1u << retries_++;
    if (retry_after) seconds = std::max(seconds, std::min(*retry_after, kLongestRetryAfter));
    return seconds * (800 + random % 401);
}

std::optional<std::uint32_t> parse_retry_after(std::string_view text) {
    if (text.starts_with('+')) return std::nullopt;
    const auto seconds = parse_content_length(text);
    if (!seconds) return std::nullopt;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(*seconds, UINT32_MAX));
}

std::string record_text(const ResumeRecord& record) {
    std::string text = "url-sha256 ";
    text += sha256_text(record.url_digest);
    text += "\nvalidator ";
    text += record.validator;
    text += "\ntotal ";
    text += decimal(record.total);
    text += '\n';
    return text;
}

std::optional<ResumeRecord> parse_record(std::string_view text) {
    ResumeRecord record;
    const char* const keys[] = {"url-sha256 ", "validator ", "total "};
    for (const char* key : keys) {
        const auto end = text.find('\n');
        if (end == std::string_view::npos || !text.starts_with(key)) return std::nullopt;
        const std::string_view value =
            text.substr(std::string_view(key).size(), end - std::string_view(key).size());
        text.remove_prefix(end + 1);
        if (key == keys[0]) {
            const auto digest = parse_sha256(value);
            if (!digest) return std::nullopt;
            record.url_digest = *digest;
        } else if (key == keys[1]) {
            record.validator = std::string(value);
        } else {
            const auto total = parse_content_length(value);
            if (!total || value.starts_with('+')) return std::nullopt;
            record.total = *total;
        }
    }
    if (!text.empty()) return std::nullopt;
    return record;
}

std::string choose_validator(std::string_view etag, std::string_view last_modified) {
    if (!etag.empty() && !etag.starts_with("W/")) return std::string(etag);
    return std::string(last_modified);
}

std::optional<ResumeRecord> record_of_answer(const Sha256& url_digest,
                                             std::optional<std::uint64_t> total,
                                             std::string_view etag, std::string_view last_modified,
                                             bool has_digest) {
    std::string validator = choose_validator(etag, last_modified);
    if (!total || (validator.empty() && !has_digest)) return std::nullopt;
    return ResumeRecord{url_digest, std::move(validator), *total};
}

ResumePlan plan_resume(const std::optional<ResumeRecord>& record, const Sha256& url_digest,
                       std::uint64_t partial_size, bool has_digest) {
    if (!record || record->url_digest != url_digest || partial_size == 0 ||
        partial_size >= record->total || (record->validator.empty() && !has_digest)) {
        return {};
    }
    return {partial_size, record->validator};
}

Answer use_of_answer(std::uint64_t offset, std::uint64_t total, std::uint32_t status,
                     std::string_view content_range, std::optional<std::uint64_t> length) {
    if (status == 416) return {offset == 0 ? AnswerUse::refuse : AnswerUse::restart, {}};
    if (status != 206) return {AnswerUse::from_zero, length};
    const auto range = parse_content_range(content_range);
    if (range && length && *length != range->last - range->first + 1) return {};
    if (offset == 0) {
        // A part of a file nobody asked a part of is whole, or nothing.
        if (range && range->first == 0 && range->last + 1 == range->total) {
            return {AnswerUse::from_zero, range->total};
        }
        return {};
    }
    if (range && range->first == offset && range->total == total && range->last + 1 == total) {
        return {AnswerUse::append, total};
    }
    return {AnswerUse::restart, {}};
}

bool asks_for_tls12(std::uint32_t major, std::uint32_t minor) {
    return major == 6 && (minor == 1 || minor == 2);
}
