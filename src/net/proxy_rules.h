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
