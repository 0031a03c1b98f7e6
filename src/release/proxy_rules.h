// Which proxy a request goes through, from what the system says. Pure: the
// platform side (proxy.cpp) reads the settings and asks the PAC question.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The user's setting (Settings > Proxy, Internet Options) as WinHTTP reads it.
struct UserProxySetting {
    bool auto_detect = false;
    std::string pac_url;  // empty: none
    std::string proxy;    // the static proxy; empty: none
    std::string bypass;   // its bypass list, "<local>" included
};

// What WinHttpGetProxyForUrl answered: a proxy list (empty: go direct), or
// the system's code when it failed.
struct PacAnswer {
    std::uint32_t error = 0;
    std::string proxy;
    std::string bypass;
};

enum class ProxyAccess : std::uint8_t {
    system_default,  // WINHTTP_ACCESS_TYPE_DEFAULT_PROXY: the machine setting, or none
    named,           // WINHTTP_ACCESS_TYPE_NAMED_PROXY with `proxy` and `bypass`
    direct,          // WINHTTP_ACCESS_TYPE_NO_PROXY
};

// Where a choice came from, for the log.
enum class ProxySource : std::uint8_t { machine, pac_file, auto_detect, user_static, none };

// Views into the settings it was chosen from.
struct ProxyChoice {
    ProxyAccess access = ProxyAccess::system_default;
    std::string_view proxy;
    std::string_view bypass;
    ProxySource source = ProxySource::none;
};

// The PAC question is asked only when the machine names no proxy and the user
// asks for auto-detection or a PAC file.
[[nodiscard]] bool asks_pac(const std::string& machine_proxy, const UserProxySetting& user);

// In this order: the machine's proxy; the PAC answer, final unless it failed;
// the user's static proxy; WinHTTP's default. `pac` is read only when
// asks_pac() says so.
[[nodiscard]] ProxyChoice choose_proxy(const std::string& machine_proxy,
                                       const UserProxySetting& user, const PacAnswer& pac);

// "machine setting", "PAC file", "auto-detection", "static", "none set".
[[nodiscard]] const char* proxy_source_name(ProxySource source);
