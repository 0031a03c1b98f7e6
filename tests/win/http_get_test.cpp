// Real WinHTTP against the local update server; the update host is loopback
// inside the test namespace and its certificate comes from a trusted test CA.
#include <gtest/gtest.h>

#include <string>

#include "release/format_size.h"
#include "release/http_get.h"
#include "win_test_support.h"

namespace {

const std::string kHost = "https://updates.vantrel.app";

// Bytes that show any reordering or loss: every position differs from its
// neighbours within a period of 251.
std::string pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7) % 251);
    return bytes;
}

std::string text_of(const Body& body) {
    return std::string(body.begin(), body.end());
}

std::vector<const WorkerMessage::Progress*> progress_of(const std::vector<WorkerMessage>& all) {
    std::vector<const WorkerMessage::Progress*> found;
    for (const auto& m : all) {
        const auto* p = std::get_if<WorkerMessage::Progress>(&m.body);
        EXPECT_NE(p, nullptr) << "only Progress messages come from a transfer";
        if (p) found.push_back(p);
    }
    return found;
}

class HttpGet : public testing::Test {
protected:
    static void SetUpTestSuite() {
        write_release_file("files/300k.bin", pattern(300000));
        write_release_file("files/100.bin", pattern(100));
        write_release_file("files/empty.bin", "");
    }
    MessageCollector collector;
    ProgressSink sink{collector.channel()};
};

TEST_F(HttpGet, EveryReadPostsProgressEndingAtExactlyOne) {
    for (const std::string scheme : {"https://", "http://"}) {
        SCOPED_TRACE(scheme);
        auto body = http_get(scheme + "updates.vantrel.app/files/300k.bin", &sink);
        ASSERT_TRUE(body.ok()) << body.error();
        EXPECT_EQ(text_of(body.value()), pattern(300000));
        const auto messages = collector.drain();
        const auto progress = progress_of(messages);
        ASSERT_GE(progress.size(), 2u);  // 300 KB never arrives in one read
        float previous = 0.0f;
        for (const auto* p : progress) {
            EXPECT_GE(p->fraction, previous);
            EXPECT_LE(p->fraction, 1.0f);
            EXPECT_TRUE(p->detail.ends_with(" / 293.0 KB")) << p->detail;
            previous = p->fraction;
        }
        EXPECT_EQ(progress.back()->fraction, 1.0f);
        EXPECT_EQ(progress.back()->detail, "293.0 KB / 293.0 KB");
    }
}

TEST_F(HttpGet, WholeBodyWithoutProgressWhenNoneIsAsked) {
    struct Case {
        const char* path;
        std::string expected;
        bool with_sink;
    };
    const Case cases[] = {
        {"/nolength/files/300k.bin", pattern(300000), true},
        {"/chunked/files/300k.bin", pattern(300000), true},
        {"/files/empty.bin", "", true},  // Content-Length 0
        {"/files/300k.bin", pattern(300000), false},
        {"/redirect/files/100.bin", pattern(100), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        auto body = http_get(kHost + c.path, c.with_sink ? &sink : nullptr);
        ASSERT_TRUE(body.ok()) << body.error();
        EXPECT_EQ(text_of(body.value()), c.expected);
        EXPECT_TRUE(collector.drain().empty());
    }
}

TEST_F(HttpGet, LengthTextsReadAsTheirValue) {
    for (const char* length : {"%2B100", "00100"}) {
        SCOPED_TRACE(length);
        auto body = http_get(kHost + "/length/" + length + "/files/100.bin", &sink);
        ASSERT_TRUE(body.ok()) << body.error();
        const auto messages = collector.drain();
        const auto progress = progress_of(messages);
        ASSERT_FALSE(progress.empty());
        EXPECT_EQ(progress.back()->detail, "100.0 B / 100.0 B");
        EXPECT_EQ(progress.back()->fraction, 1.0f);
    }
}

TEST_F(HttpGet, FailuresGiveTheirExactTexts) {
    struct Case {
        std::string url;
        const char* message;
    };
    const Case cases[] = {
        {kHost + "/status/404/files/100.bin", "Server returned HTTP status 404."},
        {kHost + "/status/500/", "Server returned HTTP status 500."},
        {kHost + "/missing.bin", "Server returned HTTP status 404."},
        {kHost + "/cut/100000/files/300k.bin", "Download was interrupted."},
        {"http://updates.vantrel.app/cut/1/files/300k.bin", "Download was interrupted."},
        {"https://untrusted.vantrel.app/files/100.bin", "Download request failed."},
        {"https://nohost.vantrel.invalid/files/100.bin", "Download request failed."},
        {"ftp://updates.vantrel.app/files/100.bin", "Only HTTP and HTTPS URLs are supported."},
        {"https:///files/100.bin", "Download URL is missing a host."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        auto body = http_get(c.url, &sink);
        ASSERT_FALSE(body.ok());
        EXPECT_EQ(body.error(), c.message);
    }
    // A cut-off body may have posted progress, but never a complete one.
    for (const auto& m : collector.drain()) {
        const auto* p = std::get_if<WorkerMessage::Progress>(&m.body);
        ASSERT_NE(p, nullptr);
        EXPECT_LT(p->fraction, 1.0f);
    }
}

TEST_F(HttpGet, TrustedCertificateOnTheSameServerSucceeds) {
    // The refusal above is about the issuer, not the server: the same
    // listener set-up with the trusted chain answers.
    auto body = http_get(kHost + "/files/100.bin", nullptr);
    ASSERT_TRUE(body.ok()) << body.error();
    EXPECT_EQ(text_of(body.value()), pattern(100));
}

}  // namespace
