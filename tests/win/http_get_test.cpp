// Real WinHTTP against the local update server; the update host is loopback
// inside the test namespace and its certificate comes from a trusted test CA.
// One attempt each: what arrives, and how each way of failing is told apart
// for the decision to try again.
#include <gtest/gtest.h>

#include <string>

#include "net/http_get.h"
#include "net/http_rules.h"
#include "net/transfer.h"
#include "win_test_support.h"

namespace {

const std::string kHost = "https://updates.vantrel.app";

// Bytes that show any reordering or loss: every position differs from its
// neighbours within a period of 251.
std::string pattern(std::size_t size, std::size_t from = 0) {
    std::string bytes(size - from, '\0');
    for (std::size_t i = from; i < size; ++i) bytes[i - from] = static_cast<char>((i * 7) % 251);
    return bytes;
}

// Takes every answer, whatever its status, and keeps the body.
struct Collect final : BodyTarget {
    std::string body;
    Status begin(const ResponseHead& head) override { return check_http_status(head.status); }
    Status write(const char* data, std::size_t size) override {
        body.append(data, size);
        return {};
    }
};

class HttpGet : public testing::Test {
protected:
    static void SetUpTestSuite() {
        write_release_file("files/300k.bin", pattern(300000));
        write_release_file("files/100.bin", pattern(100));
        write_release_file("files/empty.bin", "");
    }
};

TEST_F(HttpGet, BodiesArriveWhole) {
    const struct {
        std::string url;
        std::string body;
    } cases[] = {
        {kHost + "/files/300k.bin", pattern(300000)},
        {"http://updates.vantrel.app/files/300k.bin", pattern(300000)},
        {kHost + "/nolength/files/300k.bin", pattern(300000)},
        {kHost + "/chunked/files/300k.bin", pattern(300000)},
        {kHost + "/files/empty.bin", ""},
        {kHost + "/redirect/files/100.bin", pattern(100)},
        {kHost + "/length/%2B100/files/100.bin", pattern(100)},
        {kHost + "/length/00100/files/100.bin", pattern(100)},
        {kHost + "/files/100.bin?t=1#f", pattern(100)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        Collect target;
        ProxyLookup proxies;
        const HttpOutcome out = http_get(c.url, {}, target, proxies);
        ASSERT_TRUE(out.result.ok()) << out.result.error();
        EXPECT_EQ(target.body, c.body);
        EXPECT_EQ(out.received, c.body.size());
        EXPECT_EQ(out.head.status, 200u);
    }
}

TEST_F(HttpGet, EachFailureIsToldApart) {
    using F = AttemptFault;
    const struct {
        std::string url;
        const char* message;
        AttemptFault fault;
        std::uint32_t code;  // 1: any system code
    } cases[] = {
        {kHost + "/status/404/files/100.bin", "Server returned HTTP status 404.", F::status, 404},
        {kHost + "/status/503/", "Server returned HTTP status 503.", F::status, 503},
        {kHost + "/missing.bin", "Server returned HTTP status 404.", F::status, 404},
        {kHost + "/cut/100000/files/300k.bin", kInterrupted, F::cut, 0},
        {"http://updates.vantrel.app/cut/1/files/300k.bin", kInterrupted, F::cut, 0},
        {"https://untrusted.vantrel.app/files/100.bin", kRequestFailed, F::system, 1},
        {"https://nohost.vantrel.invalid/files/100.bin", kRequestFailed, F::system, 12007},
        {kHost + "/redirect-http/files/100.bin", kRequestFailed, F::final, 0},
        {"ftp://updates.vantrel.app/files/100.bin", "Only HTTP and HTTPS URLs are supported.",
         F::final, 0},
        {"https:///files/100.bin", "Download URL is missing a host.", F::final, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        Collect target;
        ProxyLookup proxies;
        const HttpOutcome out = http_get(c.url, {}, target, proxies);
        ASSERT_FALSE(out.result.ok());
        EXPECT_EQ(out.result.error(), c.message);
        EXPECT_EQ(out.end.fault, c.fault);
        if (c.code == 1) {
            EXPECT_NE(out.end.code, 0u);
        } else {
            EXPECT_EQ(out.end.code, c.code);
        }
    }
}

TEST_F(HttpGet, SmallFilesComeWholeIntoMemoryUpToTheirLimit) {
    auto body = fetch_to_memory(kHost + "/files/100.bin", {100, "too large"});
    ASSERT_TRUE(body.ok()) << body.error();
    EXPECT_EQ(std::string(body.value().begin(), body.value().end()), pattern(100));
    for (const char* path : {"/files/100.bin", "/nolength/files/100.bin"}) {
        auto over = fetch_to_memory(kHost + path, {99, "too large"});
        ASSERT_FALSE(over.ok());
        EXPECT_EQ(over.error(), "too large");
    }
}

}  // namespace
