#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "release/proxy_rules.h"

namespace {

TEST(ProxyRules, ChooseProxy) {
    using A = ProxyAccess;
    const UserProxySetting none;
    const UserProxySetting detect{true, "", "", ""};
    const UserProxySetting pac{false, "http://h/p.pac", "", ""};
    const UserProxySetting both{true, "http://h/p.pac", "s:8080", "<local>"};
    const UserProxySetting fixed{false, "", "s:8080", "<local>;*.lan"};
    const PacAnswer via{0, "p:3128;q:3128", "*.corp"};
    const PacAnswer direct{0, "", ""};
    const PacAnswer failed{12180, "", ""};
    struct Case {
        const char* name;
        std::string machine;
        UserProxySetting user;
        std::optional<PacAnswer> pac;
        bool asks;
        ProxyChoice expected;
        std::string logged;
    };
    const std::vector<Case> cases = {
        {"nothing set",
         "",
         none,
         {},
         false,
         {A::system_default, "", "", "none set"},
         "direct (none set)"},
        {"machine wins over everything",
         "m:80",
         both,
         {},
         false,
         {A::system_default, "m:80", "", "machine setting"},
         "m:80 (machine setting)"},
        {"auto-detect finds a list",
         "",
         detect,
         via,
         true,
         {A::named, "p:3128;q:3128", "*.corp", "auto-detection"},
         "p:3128;q:3128 (auto-detection)"},
        {"PAC says direct",
         "",
         pac,
         direct,
         true,
         {A::direct, "", "", "PAC http://h/p.pac"},
         "direct (PAC http://h/p.pac)"},
        {"PAC answer is final over static",
         "",
         both,
         direct,
         true,
         {A::direct, "", "", "PAC http://h/p.pac"},
         "direct (PAC http://h/p.pac)"},
        {"PAC fails, static follows",
         "",
         both,
         failed,
         true,
         {A::named, "s:8080", "<local>", "static"},
         "s:8080 (static)"},
        {"no WPAD, nothing else",
         "",
         detect,
         failed,
         true,
         {A::system_default, "", "", "none set"},
         "direct (none set)"},
        {"no answer counts as failure",
         "",
         both,
         {},
         true,
         {A::named, "s:8080", "<local>", "static"},
         "s:8080 (static)"},
        {"static alone",
         "",
         fixed,
         {},
         false,
         {A::named, "s:8080", "<local>;*.lan", "static"},
         "s:8080 (static)"},
        {"an answer nobody asked for is not read",
         "",
         fixed,
         via,
         false,
         {A::named, "s:8080", "<local>;*.lan", "static"},
         "s:8080 (static)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(asks_pac(c.machine, c.user), c.asks);
        const ProxyChoice got = choose_proxy(c.machine, c.user, c.pac);
        EXPECT_EQ(got.access, c.expected.access);
        EXPECT_EQ(got.proxy, c.expected.proxy);
        EXPECT_EQ(got.bypass, c.expected.bypass);
        EXPECT_EQ(got.source, c.expected.source);
        EXPECT_EQ(proxy_for_log(got), c.logged);
    }
}

}  // namespace
