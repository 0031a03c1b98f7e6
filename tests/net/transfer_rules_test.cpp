#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "net/transfer_rules.h"

namespace {

using F = AttemptFault;

TEST(TransferRules, WhatIsTriedAgain) {
    const struct {
        AttemptFault fault;
        std::uint32_t code;
        bool transient;
    } cases[] = {
        {F::system, 12002, true},  {F::system, 12007, true},  {F::system, 12029, true},
        {F::system, 12030, true},  {F::system, 12031, true},  {F::system, 12152, true},
        {F::system, 10060, true},  {F::system, 10054, true},  {F::cut, 0, true},
        {F::system, 10053, true},  {F::system, 10061, true},  {F::status, 408, true},
        {F::status, 429, true},    {F::status, 500, true},    {F::status, 502, true},
        {F::status, 503, true},    {F::status, 504, true},    {F::system, 12175, false},
        {F::system, 12157, false}, {F::system, 12045, false}, {F::status, 404, false},
        {F::status, 403, false},   {F::status, 407, false},   {F::status, 501, false},
        {F::final, 112, false},    {F::none, 0, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(is_transient({c.fault, c.code}), c.transient) << c.code;
    }
}

TEST(TransferRules, WaitsDoubleAndStartOverAfterProgress) {
    const std::optional<std::uint32_t> none;
    const std::optional<std::uint64_t> big = 1 << 30;
    const struct {
        std::uint64_t held;
        std::optional<std::uint64_t> total;
        std::optional<std::uint32_t> retry_after;
        std::uint32_t random;
        std::optional<std::uint32_t> wait;
    } steps[] = {
        {100, big, none, 0, 800},
        {100, big, none, 400, 2400},
        {100, big, none, 200, 4000},
        {100, big, 7, 0, 6400},  // Retry-After shorter than the step
        {100, big, none, 401, 12800},
        {100, big, none, 0, std::nullopt},
        {65635, big, none, 0, std::nullopt},  // a byte short of 64 KiB more: no progress
        {65636, big, none, 0, 800},           // 64 KiB more: the count starts again
        {65636, big, 0, 0, 1600},             // Retry-After 0 waits the step
        {65636, big, 30, 400, 36000},         // and a longer one is jittered too
        {65636, big, 120, 0, 48000},
        {65700, 65700, none, 0, 800},  // the rest of the file, less than 64 KiB
    };
    RetrySchedule schedule(100);
    for (const auto& s : steps) {
        EXPECT_EQ(schedule.next_wait(s.held, s.total, s.retry_after, s.random), s.wait)
            << s.held << " after " << schedule.retries();
    }
}

TEST(TransferRules, RetryAfterRecordAndValidator) {
    EXPECT_EQ(parse_retry_after("120"), 120u);
    EXPECT_EQ(parse_retry_after("0"), 0u);  // try again at once
    EXPECT_EQ(parse_retry_after("99999999999"), UINT32_MAX);
    for (const char* text : {"", "+5", "-5", "5 ", "Wed, 21 Oct 2026 07:28:00 GMT"}) {
        EXPECT_EQ(parse_retry_after(text), std::nullopt) << text;
    }

    Sha256 digest{};
    digest[0] = 0xAB;
    const std::string text = record_text({digest, "\"v1\"", 93336});
    EXPECT_EQ(text, "url-sha256 AB" + std::string(62, '0') + "\nvalidator \"v1\"\ntotal 93336\n");
    const auto back = parse_record(text);
    ASSERT_TRUE(back);
    EXPECT_EQ(std::tie(back->url_digest, back->validator, back->total),
              std::make_tuple(digest, std::string("\"v1\""), std::uint64_t{93336}));
    EXPECT_TRUE(parse_record(record_text({digest, "", 1})));
    for (const std::string& bad :
         {text.substr(0, text.size() - 1), text + "x", std::string("url-sha256 AB\n") + text,
          text.substr(0, text.find("total")) + "total +5\n", std::string()}) {
        EXPECT_FALSE(parse_record(bad)) << bad;
    }

    const std::string date = "Wed, 09 Dec 2026 10:00:00 GMT";
    EXPECT_EQ(choose_validator("\"abc\"", date), "\"abc\"");
    EXPECT_EQ(choose_validator("W/\"abc\"", date), date);
    EXPECT_EQ(choose_validator("", date), date);
    EXPECT_EQ(choose_validator("W/\"abc\"", ""), "");

    // A body from byte 0 replaces the record, or leaves none when it says
    // nothing to resume by.
    const struct {
        std::optional<std::uint64_t> total;
        const char* etag;
        bool has_digest;
        std::string record;  // empty: none
    } answers[] = {{1000, "\"v2\"", false, record_text({digest, "\"v2\"", 1000})},
                   {1000, "", true, record_text({digest, "", 1000})},
                   {1000, "", false, ""},
                   {1000, "W/\"v2\"", false, ""},
                   {std::nullopt, "\"v2\"", true, ""}};
    for (const auto& a : answers) {
        const auto record = record_of_answer(digest, a.total, a.etag, "", a.has_digest);
        EXPECT_EQ(record ? record_text(*record) : "", a.record) << a.etag;
    }
}

TEST(TransferRules, WhereTheNextRequestStarts) {
    Sha256 url{}, other{};
    other[5] = 1;
    const ResumeRecord with{url, "\"e\"", 1000}, without{url, "", 1000};
    // record, URL, bytes held, manifest digest given -> offset
    const struct {
        std::optional<ResumeRecord> record;
        Sha256 url;
        std::uint64_t size;
        bool has_digest;
        std::uint64_t offset;
    } cases[] = {{with, url, 400, false, 400},  {std::nullopt, url, 400, true, 0},
                 {with, other, 400, true, 0},   {with, url, 0, true, 0},
                 {with, url, 1000, true, 0},    {with, url, 1001, true, 0},
                 {without, url, 400, false, 0}, {without, url, 400, true, 400}};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        const ResumePlan plan = plan_resume(c.record, c.url, c.size, c.has_digest);
        EXPECT_EQ(plan.offset, c.offset) << i;
        EXPECT_EQ(plan.validator, c.offset ? c.record->validator : "") << i;
    }
}

TEST(TransferRules, WhatAnAnswerMeans) {
    using U = AnswerUse;
    const std::optional<std::uint64_t> none;
    const struct {
        std::uint64_t offset;
        std::uint32_t status;
        const char* range;
        std::optional<std::uint64_t> length;
        AnswerUse use;
        std::optional<std::uint64_t> total;
    } cases[] = {{400, 206, "bytes 400-999/1000", 600, U::append, 1000},
                 {400, 206, "bytes 400-999/1000", none, U::append, 1000},
                 {400, 206, "bytes 400-999/1000", 500, U::refuse, none},
                 {400, 200, "", 1200, U::from_zero, 1200},
                 {400, 416, "bytes */1000", none, U::restart, none},
                 {400, 206, "bytes 300-999/1000", 700, U::restart, none},
                 {400, 206, "bytes 400-998/1000", 599, U::restart, none},
                 {400, 206, "bytes 400-1199/1200", 800, U::restart, none},
                 {400, 206, "", 600, U::restart, none},
                 {0, 200, "", none, U::from_zero, none},
                 // A 206 to a request without Range: its total is the range's.
                 {0, 206, "bytes 0-999/1000", none, U::from_zero, 1000},
                 {0, 206, "bytes 0-999/1000", 500, U::refuse, none},
                 {0, 206, "bytes 0-499/1000", 500, U::refuse, none},
                 {0, 416, "bytes */1000", none, U::refuse, none}};
    for (const auto& c : cases) {
        const Answer answer = use_of_answer(c.offset, 1000, c.status, c.range, c.length);
        EXPECT_EQ(answer.use, c.use) << c.offset << " " << c.status << " " << c.range;
        EXPECT_EQ(answer.total, c.total) << c.offset << " " << c.status << " " << c.range;
    }
}

TEST(TransferRules, Tls12IsAskedForOnWindows7And8Only) {
    const struct {
        std::uint32_t major, minor;
        bool asks;
    } cases[] = {{6, 0, false}, {6, 1, true},   {6, 2, true},
                 {6, 3, false}, {10, 0, false}, {0, 0, false}};
    for (const auto& c : cases) EXPECT_EQ(asks_for_tls12(c.major, c.minor), c.asks) << c.minor;
}

}  // namespace
