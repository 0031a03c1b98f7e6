#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/proxy_rules.h"

namespace {

TEST(ProxyRules, ChooseProxy) {
    using A = ProxyAccess;
    using S = ProxySource;
    const UserProxySetting none;
    const WideText pac_url = to_wide("http://h/p.pac"), fixed_proxy = to_wide("s:8080"),
                   local = to_wide("<local>"), lan = to_wide("<local>;*.lan"),
                   list = to_wide("p:3128;q:3128"), corp = to_wide("*.corp");
    const UserProxySetting detect{true, {}, {}, {}};
    const UserProxySetting pac{false, pac_url, {}, {}};
    const UserProxySetting both{true, pac_url, fixed_proxy, local};
    const UserProxySetting fixed{false, {}, fixed_proxy, lan};
    const PacAnswer via{0, list, corp}, detected{0, list, corp, true};
    const PacAnswer direct{0, {}, {}};
    const PacAnswer failed{12180, {}, {}};
    struct Case {
        const char* name;
        std::string machine;
        UserProxySetting user;
        PacAnswer pac;
        bool asks;
        ProxyAccess access;
        std::string proxy, bypass;
        ProxySource source;
        const char* logged;
    };
    const std::vector<Case> cases = {
        {"nothing set", "", none, {}, false, A::system_default, "", "", S::none, "none set"},
        {"machine wins over everything", "m:80", both, via, false, A::system_default, "m:80", "",
         S::machine, "machine setting"},
        {"auto-detect finds a list", "", detect, detected, true, A::named, "p:3128;q:3128",
         "*.corp", S::auto_detect, "auto-detection"},
        {"PAC says direct", "", pac, direct, true, A::direct, "", "", S::pac_file, "PAC file"},
        {"PAC answer is final over static", "", both, direct, true, A::direct, "", "", S::pac_file,
         "PAC file"},
        {"PAC fails, static follows", "", both, failed, true, A::named, "s:8080", "<local>",
         S::user_static, "static"},
        {"no WPAD, nothing else", "", detect, failed, true, A::system_default, "", "", S::none,
         "none set"},
        {"static alone",
         "",
         fixed,
         {},
         false,
         A::named,
         "s:8080",
         "<local>;*.lan",
         S::user_static,
         "static"},
        {"an answer nobody asked for is not read", "", fixed, via, false, A::named, "s:8080",
         "<local>;*.lan", S::user_static, "static"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const WideText machine = to_wide(c.machine);
        EXPECT_EQ(asks_pac(machine, c.user), c.asks);
        const ProxyChoice got = choose_proxy(machine, c.user, c.pac);
        EXPECT_EQ(got.access, c.access);
        EXPECT_EQ(from_wide_lossy(got.proxy), c.proxy);
        EXPECT_EQ(from_wide_lossy(got.bypass), c.bypass);
        EXPECT_EQ(got.source, c.source);
        EXPECT_STREQ(proxy_source_name(got.source), c.logged);
    }
}

TEST(ProxyRules, PacFailuresAreRememberedForOneTransfer) {
    const WideText pac_url = to_wide("http://h/p.pac");
    const UserProxySetting both{true, pac_url, {}, {}}, detect{true, {}, {}, {}};
    const struct {
        const char* name;
        UserProxySetting user;
        bool auto_detect_failed;  // a question that failed earlier: which, and how
        std::uint32_t error;
        bool asks_auto_detect, asks_pac_url;
    } cases[] = {
        {"a new transfer asks both", both, false, 0, true, true},
        {"auto-detection failed: the PAC URL alone", both, true, 12180, false, true},
        {"its script could not be fetched: auto-detection alone", both, false, 12167, true, false},
        {"a script that failed for one host is asked again", both, false, 12166, true, true},
        {"nothing set, nothing asked", {}, false, 0, false, false},
        {"auto-detection alone, failed: nothing asked", detect, true, 12029, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PacFailures failed;
        if (c.error != 0) note_pac_failure(failed, c.auto_detect_failed, c.error);
        const PacQuestions asked = pac_questions(c.user, failed);
        EXPECT_EQ(asked.auto_detect, c.asks_auto_detect);
        EXPECT_EQ(asked.pac_url, c.asks_pac_url);
    }
}

}  // namespace
