// The update check end to end below the window: the fixed manifest URL,
// fetched for real from the local update server.
#include <gtest/gtest.h>

#include <string>

#include "release/update_check.h"
#include "win_test_support.h"

namespace {

const char* const kManifest = "vantrel/updates/beta/latest.json";

struct Outcome {
    std::string kind;  // "Ready" or "Failed"
    std::string first, second;
};

Outcome single_message(std::vector<WorkerMessage> messages) {
    if (messages.size() != 1) return {"count " + std::to_string(messages.size()), "", ""};
    if (auto* ready = std::get_if<WorkerMessage::Ready>(&messages[0].body)) {
        return {"Ready", ready->version, ready->setup_url};
    }
    if (auto* failed = std::get_if<WorkerMessage::Failed>(&messages[0].body)) {
        return {"Failed", failed->message, ""};
    }
    return {"other", "", ""};
}

TEST(UpdateCheck, ManifestsGiveOneReadyOrFailed) {
    struct Case {
        std::string manifest;  // empty: no manifest on the server
        Outcome expected;
    };
    const std::string url = "https://updates.vantrel.app/dl/setup.exe";
    const Case cases[] = {
        {R"({"version": "1.4.2", "platforms": {"windows-x86_64-nsis": {"url": "https:\/\/updates.vantrel.app\/dl\/setup.exe"}}})",
         {"Ready", "1.4.2", url}},
        {"\xEF\xBB\xBF{\"version\":\"2.0\",\"windows-x86_64\":{\"url\":\"" + url + "\"}}",
         {"Ready", "2.0", url}},
        {R"({"windows-x86_64": {"url": "http://h/s.exe"}})", {"Ready", "latest", "http://h/s.exe"}},
        {R"({"version": "1.4.2", "platforms": {"linux": {"url": "x"}}})",
         {"Failed", "No Windows setup URL was found.", ""}},
        {"{\"version\":\"1.4.2\xFF\"}",
         {"Failed", "invalid utf-8 sequence of 1 bytes from index 17", ""}},
        {"", {"Failed", "Server returned HTTP status 404.", ""}},
    };
    MessageCollector collector;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.manifest);
        if (c.manifest.empty()) {
            ::DeleteFileW(wine_path(environment("VANTREL_RELEASE_DIR") + "/" + kManifest).c_str());
        } else {
            write_release_file(kManifest, c.manifest);
        }
        run_update_check(collector.channel(), 7);
        std::vector<WorkerMessage> messages = collector.drain();
        // The window tells a stale result from the awaited one by this number.
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].check, 7u);
        const Outcome got = single_message(std::move(messages));
        EXPECT_EQ(got.kind, c.expected.kind);
        EXPECT_EQ(got.first, c.expected.first);
        EXPECT_EQ(got.second, c.expected.second);
    }
}

TEST(UpdateCheck, StartsOnItsOwnThreadAndReturnsAtOnce) {
    const std::string release = environment("VANTREL_RELEASE_DIR");
    const std::wstring held = wine_path(release + "/held/start");
    ::DeleteFileW(held.c_str());
    ::DeleteFileW((held + L".at").c_str());
    write_release_file(kManifest,
                       R"({"version":"3.1","windows-x86_64-nsis":{"url":"https://h/x"}})");
    // The server holds the answer until the test lets it go: a start that
    // waited for the check would come back with its result already posted.
    write_release_file(std::string(kManifest) + ".once", "0 hold/start/0\n");
    MessageCollector collector;
    start_update_check(collector.channel(), 1);
    ASSERT_TRUE(pump_until([&] { return read_file(held + L".at") == "1\n"; }));
    EXPECT_TRUE(collector.drain().empty());

    write_release_file("held/start", "1\n");
    std::vector<WorkerMessage> messages;
    ASSERT_TRUE(pump_until([&] {
        for (auto& m : collector.drain()) messages.push_back(std::move(m));
        return !messages.empty();
    }));
    const Outcome got = single_message(std::move(messages));
    EXPECT_EQ(got.kind, "Ready");
    EXPECT_EQ(got.first, "3.1");
    ::DeleteFileW(held.c_str());
    ::DeleteFileW((held + L".at").c_str());
}

}  // namespace
