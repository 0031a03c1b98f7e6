// Which proxy a request goes through, from what the system says. Pure: the
// platform side (proxy.cpp) reads the settings and asks the PAC question.
// Texts stay as the system gave them, UTF-16, since they go back to it.
#pragma once

#include <cstdint>

#include "text/utf.h"

// The user's setting (Settings > Proxy, Internet Options) as WinHTTP reads it.
struct UserProxySetting {
    bool auto_detect = false;
    WideView pac_url;  // empty: none
    WideView proxy;    // the static proxy; empty: none
    WideView bypass;   // its bypass list, "<local>" included
};

// What WinHttpGetProxyForUrl answered: a proxy list (empty: go direct), or
// the system's code when it failed.
struct PacAnswer {
    std::uint32_t error = 0;
    WideView proxy;
    WideView bypass;
    bool by_auto_detect = false;  // auto-detection answered, not the PAC URL
};

// The PAC questions that failed in one transfer (its attempts and their
// hops), which are not asked again until the next transfer: a network that
// needs WPAD may come up after the first question (Wi-Fi, a VPN).
struct PacFailures {
    bool auto_detect = false;
    bool pac_url = false;
};

// The PAC questions a request may ask: auto-detection, then the PAC URL when
// auto-detection found nothing; each when the user asks for it and it has
// not failed in this transfer.
struct PacQuestions {
    bool auto_detect = false;
    bool pac_url = false;
};
[[nodiscard]] PacQuestions pac_questions(const UserProxySetting& user, const PacFailures& failed);

// After a PAC question failed with the system's `error`: auto-detection is
// not asked again; the PAC URL only when its script could not be fetched
// (12167), as a script may fail for one host and answer for another.
void note_pac_failure(PacFailures& failed, bool auto_detect, std::uint32_t error);

enum class ProxyAccess : std::uint8_t {
    system_default,  // WINHTTP_ACCESS_TYPE_DEFAULT_PROXY: the machine setting, or none
    named,           // WINHTTP_ACCESS_TYPE_NAMED_PROXY with `proxy` and `bypass`
    direct,          // WINHTTP_ACCESS_TYPE_NO_PROXY
};

// Where a choice came from, for the log.
enum class ProxySource : std::uint8_t { machine, pac_file, auto_detect, user_static, none };

// Views into the settings it was chosen from, each a whole text of them.
struct ProxyChoice {
    ProxyAccess access = ProxyAccess::system_default;
    WideView proxy;
    WideView bypass;
    ProxySource source = ProxySource::none;
};

// The PAC question is asked only when the machine names no proxy and the user
// asks for auto-detection or a PAC file.
[[nodiscard]] bool asks_pac(WideView machine_proxy, const UserProxySetting& user);

// In this order: the machine's proxy; the PAC answer, final unless it failed;
// the user's static proxy; WinHTTP's default. `pac` is read only when
// asks_pac() says so.
[[nodiscard]] ProxyChoice choose_proxy(WideView machine_proxy, const UserProxySetting& user,
                                       const PacAnswer& pac);

// "machine setting", "PAC file", "auto-detection", "static", "none set".
[[nodiscard]] const char* proxy_source_name(ProxySource source);
