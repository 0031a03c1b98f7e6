#include "net/transfer.h"

#include <cstring>
#include <utility>

#include "base/decimal.h"
#include "net/http_get.h"
#include "net/http_rules.h"
#include "support/log.h"
#include "text/utf.h"
#include "trust/checksum.h"
#include "win32/handles.h"
#include "win32/system.h"

namespace {

std::uint32_t jitter_seed() {
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    return static_cast<std::uint32_t>(now.QuadPart * 2654435761u) ^ ::GetCurrentThreadId();
}

// After a failed attempt: the wait before the next one, logged with why and
// from where it continues; nothing when the failure is final or the retries
// are used up.
std::optional<std::uint32_t> wait_before_retry(RetrySchedule& schedule, const HttpOutcome& out,
                                               std::uint64_t held,
                                               std::optional<std::uint64_t> total,
                                               std::uint64_t resume_from) {
    if (!is_transient(out.end)) return std::nullopt;
    const auto wait = schedule.next_wait(held, total, out.head.retry_after, jitter_seed());
    if (!wait) return std::nullopt;
    // "HTTP 503", "code 12002", "cut short" or "cut short, code 10054".
    const bool cut = out.end.fault == AttemptFault::cut;
    std::string why = cut ? "cut short" : "";
    if (!cut || out.end.code != 0) {
        why += cut ? ", code " : out.end.fault == AttemptFault::status ? "HTTP " : "code ";
        why += LogNumber(out.end.code);
    }
    log_event("retry % of % in % ms after \"%\" (%), from byte %",
              {LogNumber(schedule.retries()), LogNumber(kMostRetries), LogNumber(*wait),
               out.result.error(), why, LogNumber(resume_from)});
    return wait;
}

class MemoryTarget final : public BodyTarget {
public:
    explicit MemoryTarget(BodyLimit limit) : limit_(limit) {}

    Status begin(const ResponseHead& head) override {
        if (Status checked = check_http_status(head.status); !checked.ok()) return checked;
        if (head.length && *head.length > limit_.bytes) return Failure{limit_.too_large};
        // One allocation when the size is known.
        if (head.length && !body_.reserve(static_cast<std::size_t>(*head.length))) {
            return Failure{kOutOfMemory};
        }
        return {};
    }

    Status write(const char* data, std::size_t size) override {
        if (size > limit_.bytes - body_.size()) return Failure{limit_.too_large};
        char* room = body_.room_for(size);
        if (room == nullptr) return Failure{kOutOfMemory};
        std::memcpy(room, data, size);
        body_.commit(size);
        return {};
    }

    Body take() { return std::move(body_); }

private:
    BodyLimit limit_;
    Body body_;
};

}  // namespace

Result<Body> fetch_to_memory(std::string_view url, BodyLimit limit) {
    RetrySchedule schedule;
    ProxyLookup proxies;
    for (;;) {
        MemoryTarget target(limit);
        HttpOutcome out = http_get(url, {}, target, proxies);
        if (out.result.ok()) return target.take();
        const auto wait = wait_before_retry(schedule, out, out.received, out.head.length, 0);
        if (!wait) return out.result.take_failure();
        ::Sleep(*wait);
    }
}

std::wstring partial_path(const std::wstring& path) {
    return path + L".partial";
}

namespace {

// The partial file's resume record: what the part is of, and how to ask for
// the rest.
std::wstring record_path(const std::wstring& path) {
    return path + L".resume";
}

}  // namespace

Status store_partial(const std::wstring& path) {
    if (!::MoveFileExW(partial_path(path).c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        return last_os_failure();
    }
    ::DeleteFileW(record_path(path).c_str());
    return {};
}

namespace {

constexpr DWORD kReportEveryMs = 30;

// The partial file of one download and its record: what every attempt
// appends to or starts again, with the digest of what it holds so far.
class PartialFile final : public BodyTarget {
    static constexpr std::uint64_t kNotHashed = UINT64_MAX;

public:
    PartialFile(const WorkerChannel& channel, const std::wstring& path, const Sha256& url_digest,
                bool has_digest)
        : channel_(channel),
          partial_(partial_path(path)),
          record_path_(record_path(path)),
          url_digest_(url_digest),
          has_digest_(has_digest) {}

    // Opens the partial file, kept from an earlier attempt or new, and reads
    // its record.
    Status open() {
        file_ = UniqueFile(::CreateFileW(partial_.c_str(), GENERIC_READ | GENERIC_WRITE,
                                         FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file_) return last_os_failure();
        LARGE_INTEGER size{};
        if (!::GetFileSizeEx(file_.get(), &size)) return last_os_failure();
        size_ = static_cast<std::uint64_t>(size.QuadPart);
        record_ = parse_record(read_record());
        return {};
    }

    [[nodiscard]] std::uint64_t size() const { return size_; }
    [[nodiscard]] std::optional<std::uint64_t> total() const { return total_; }

    // Where the next request starts, and its headers.
    std::string next_request() {
        const ResumePlan plan = plan_resume(record_, url_digest_, size_, has_digest_);
        offset_ = plan.offset;
        answer_.reset();
        if (offset_ == 0) return {};
        log_event("resuming at byte % of %", {LogNumber(offset_), LogNumber(total_of_record())});
        std::string headers = "Range: bytes=";
        headers += decimal(offset_);
        headers += "-\r\n";
        if (!plan.validator.empty()) {
            headers += "If-Range: ";
            headers += plan.validator;
            headers += "\r\n";
        }
        return headers;
    }

    // The last answer asked for the whole file again: the next request, from
    // byte 0, goes at once and is not counted as a retry.
    [[nodiscard]] bool restarts() const { return answer_ == AnswerUse::restart; }
    // The bytes held came from two answers or more: a part and its rest.
    [[nodiscard]] bool spliced() const { return spliced_; }

    Status begin(const ResponseHead& head) override {
        // Outside 200-299 only a 416 may still say something about the part.
        const Answer answer = head.status == 416 || is_success(head.status)
                                  ? use_of_answer(offset_, total_of_record(), head.status,
                                                  head.content_range, head.length)
                                  : Answer{};
        answer_ = answer.use;
        switch (answer.use) {
            case AnswerUse::append:
                return continue_part(head, *answer.total);
            case AnswerUse::from_zero:
                return start_from_zero(head, answer.total);
            case AnswerUse::restart:
                return start_again(head.status);
            default:
                return http_status_failure(head.status);
        }
    }

    Status write(const char* data, std::size_t size) override {
        while (size > 0) {
            DWORD written = 0;
            const BOOL ok =
                ::WriteFile(file_.get(), data, static_cast<DWORD>(size), &written, nullptr);
            const DWORD error = ::GetLastError();
            // A full disk may first store part of a write without an error.
            hashing_.add(data, written);
            size_ += written;
            hashed_ = size_;
            if (!ok) return os_failure(error);
            if (written == 0) return Failure{"failed to write whole buffer"};
            data += written;
            size -= written;
        }
        report_progress();
        return {};
    }

    // Complete: as long as announced, or ended cleanly when nothing was.
    [[nodiscard]] bool complete() const { return !total_ || size_ == *total_; }

    Result<Sha256> digest() {
        auto digest = hashing_.finish();
        hashed_ = kNotHashed;  // a finished hash takes no more
        return digest;
    }

    // Throws the bytes and the record away: the next attempt starts at 0.
    Status discard() {
        forget();
        return empty();
    }

    // Closes the finished partial file and gives the identity it had then.
    Result<FileIdentity> close() {
        // A file system may set the last-write time again as a writer closes;
        // a time set through the handle stays, so the identity read now is the
        // closed file's.
        FILETIME now;
        ::GetSystemTimeAsFileTime(&now);
        if (!::SetFileTime(file_.get(), nullptr, nullptr, &now)) return last_os_failure();
        auto identity = file_identity(file_.get());
        if (!identity.ok()) return identity.take_failure();
        file_ = {};
        return identity.value();
    }

private:
    // Exactly the rest: the body follows the part on disk.
    Status continue_part(const ResponseHead& head, std::uint64_t total) {
        if (head.length && !has_room(*head.length, 0)) return Failure{kNoDiskSpace};
        total_ = total;
        if (Status hashed = hash_part(); !hashed.ok()) return hashed;
        if (!::SetFilePointerEx(file_.get(), {}, nullptr, FILE_END)) return last_os_failure();
        spliced_ = true;
        report_progress(true);
        return {};
    }

    // The whole file, perhaps a newer one: it replaces the part.
    Status start_from_zero(const ResponseHead& head, std::optional<std::uint64_t> total) {
        if (total && !has_room(*total, size_)) return Failure{kNoDiskSpace};
        if (offset_ != 0) log_event("the whole file came instead: starting from byte 0");
        if (Status emptied = empty(); !emptied.ok()) return emptied;
        total_ = total;
        spliced_ = false;
        // The old record, if any, was of another body.
        if (auto record =
                record_of_answer(url_digest_, total, head.etag, head.last_modified, has_digest_)) {
            write_record(*record);
        } else {
            forget();
        }
        return {};
    }

    // A part the hash does not cover yet (one from an earlier run, or after
    // a finished digest) is read back from disk first.
    Status hash_part() {
        if (hashed_ == size_) return {};
        hashing_.restart();
        if (Status read = hashing_.add_file(file_.get(), size_); !read.ok()) return read;
        hashed_ = size_;
        return {};
    }

    // The part cannot be continued: its record goes, so that the next
    // request asks for the whole file, and the answer is refused unread.
    Status start_again(std::uint32_t status) {
        log_event("HTTP % does not continue byte %: starting again",
                  {LogNumber(status), LogNumber(offset_)});
        forget();
        return Failure{kInterrupted};
    }

    std::string read_record() const {
        const UniqueFile file(::CreateFileW(record_path_.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                            nullptr));
        char text[1024];
        DWORD read = 0;
        if (!file || !::ReadFile(file.get(), text, sizeof text, &read, nullptr)) return {};
        return std::string(text, read);
    }

    void write_record(const ResumeRecord& record) {
        record_ = record;
        const std::string text = record_text(record);
        const UniqueFile file(::CreateFileW(record_path_.c_str(), GENERIC_WRITE, 0, nullptr,
                                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        // Without a record the next run starts from 0, nothing worse.
        if (file) {
            ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written,
                        nullptr);
        }
    }

    void forget() {
        record_.reset();
        ::DeleteFileW(record_path_.c_str());
    }

    std::uint64_t total_of_record() const { return record_ ? record_->total : 0; }

    Status empty() {
        if (!::SetFilePointerEx(file_.get(), {}, nullptr, FILE_BEGIN) ||
            !::SetEndOfFile(file_.get())) {
            return last_os_failure();
        }
        size_ = 0;
        hashing_.restart();
        hashed_ = 0;
        return {};
    }

    // Whether `bytes` more fit on the partial file's drive, `freed` of them
    // being given back first: the caller's quota counts.
    bool has_room(std::uint64_t bytes, std::uint64_t freed) const {
        std::wstring folder = partial_;
        folder.resize(folder.find_last_of(L'\\') + 1);
        ULARGE_INTEGER available{};
        if (!::GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr)) return true;
        return available.QuadPart + freed >= bytes;
    }

    // At most one report in kReportEveryMs, and always the last: the window
    // cannot show more, and each report costs the transfer (a fifth of a fast
    // one's time when every read reported).
    void report_progress(bool at_once = false) {
        if (!total_ || *total_ == 0) return;
        const DWORD now = ::GetTickCount();
        if (!at_once && size_ != *total_ && now - reported_at_ < kReportEveryMs) return;
        reported_at_ = now;
        ProgressStep step = progress_step(size_, *total_);
        post_worker_message(channel_,
                            {WorkerMessage::Progress{std::move(step.detail), step.fraction}});
    }

    const WorkerChannel& channel_;
    std::wstring partial_;
    std::wstring record_path_;
    Sha256 url_digest_;
    bool has_digest_;
    UniqueFile file_;
    std::optional<ResumeRecord> record_;  // as read from or written to record_path_
    std::uint64_t size_ = 0;
    std::optional<std::uint64_t> total_;
    Sha256Hashing hashing_;
    // The bytes of the part the hash covers; kNotHashed until it is read back.
    std::uint64_t hashed_ = kNotHashed;
    std::uint64_t offset_ = 0;         // where the current request started
    std::optional<AnswerUse> answer_;  // what the current request's answer meant
    DWORD reported_at_ = ::GetTickCount() - kReportEveryMs;
    bool spliced_ = false;
};

}  // namespace

Result<StoredFile> download_to_file(const WorkerChannel& channel, const std::wstring& path,
                                    std::string_view url, const std::optional<Sha256>& sha256) {
    auto url_digest = sha256_of(url.data(), url.size());
    if (!url_digest.ok()) return url_digest.take_failure();
    PartialFile partial(channel, path, url_digest.value(), sha256.has_value());
    if (Status opened = partial.open(); !opened.ok()) return opened.take_failure();
    RetrySchedule schedule(partial.size());
    ProxyLookup proxies;
    bool fresh_again = false;  // the one download from 0 after a spliced one failed its digest
    for (;;) {
        const std::string headers = partial.next_request();
        HttpOutcome out = http_get(url, headers, partial, proxies);
        if (partial.restarts()) continue;
        if (out.result.ok() && !partial.complete()) {
            out.result = Failure{kInterrupted};
            out.end = {AttemptFault::cut, 0};
        }
        if (!out.result.ok()) {
            const auto wait =
                wait_before_retry(schedule, out, partial.size(), partial.total(), partial.size());
            if (!wait) return out.result.take_failure();
            ::Sleep(*wait);
            continue;
        }
        auto digest = partial.digest();
        if (!digest.ok()) return digest.take_failure();
        if (sha256) {
            if (Status same = check_sha256(*sha256, digest.value()); !same.ok()) {
                // A body spliced from two files shows only here; a whole
                // one that differs is simply not the manifest's.
                const bool again = partial.spliced() && !fresh_again;
                log_event(again ? "digest differs after a resumed download: once more from byte 0"
                                : "digest differs: the download is discarded");
                if (Status discarded = partial.discard(); !discarded.ok()) {
                    return discarded.take_failure();
                }
                if (!again) return same.take_failure();
                fresh_again = true;
                continue;
            }
        }
        auto closed = partial.close();
        if (!closed.ok()) return closed.take_failure();
        log_event("stored %, % bytes, SHA-256 %",
                  {from_wide_lossy(path), LogNumber(partial.size()), sha256_text(digest.value())});
        return StoredFile{digest.value(), closed.value()};
    }
}
