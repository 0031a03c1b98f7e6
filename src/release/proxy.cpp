#include "release/proxy.h"

#include <string>

#include "app_info.h"
#include "support/log.h"
#include "support/log_line.h"
#include "text/utf.h"
#include "win32/system.h"

namespace {

// A text the system handed over, freed here; empty for none.
std::string take_text(wchar_t* text) {
    const UniqueGlobalText owned(text);
    return text ? from_wide_lossy(text) : std::string();
}

// The proxy that `netsh winhttp set proxy` named, or nothing.
std::string machine_proxy() {
    WINHTTP_PROXY_INFO info{};
    if (!::WinHttpGetDefaultProxyConfiguration(&info)) return {};
    std::string proxy = take_text(info.lpszProxy);
    (void)take_text(info.lpszProxyBypass);
    return info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY ? proxy : std::string();
}

UserProxySetting user_setting() {
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
    if (!::WinHttpGetIEProxyConfigForCurrentUser(&config)) return {};
    return {config.fAutoDetect != FALSE, take_text(config.lpszAutoConfigUrl),
            take_text(config.lpszProxy), take_text(config.lpszProxyBypass)};
}

UniqueInternet open_session(const ProxyChoice& proxy) {
    const WideText agent = to_wide(app::kAppName.c_str());
    const WideText name = to_wide(proxy.proxy);
    const WideText bypass = to_wide(proxy.bypass);
    // WinHTTP takes a proxy name only with NAMED_PROXY; the machine's proxy is
    // in the choice for the log alone.
    const bool named = proxy.access == ProxyAccess::named;
    return UniqueInternet(
        ::WinHttpOpen(agent.c_str(),
                      named                                 ? WINHTTP_ACCESS_TYPE_NAMED_PROXY
                      : proxy.access == ProxyAccess::direct ? WINHTTP_ACCESS_TYPE_NO_PROXY
                                                            : WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                      named ? name.c_str() : WINHTTP_NO_PROXY_NAME,
                      named && !bypass.empty() ? bypass.c_str() : WINHTTP_NO_PROXY_BYPASS, 0));
}

PacAnswer ask_pac(std::string_view url, const UserProxySetting& user) {
    const UniqueInternet session = open_session({});
    const WideText pac_url = to_wide(user.pac_url);
    WINHTTP_AUTOPROXY_OPTIONS options{};
    if (user.auto_detect) {
        options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    }
    if (!user.pac_url.empty()) {
        options.dwFlags |= WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = pac_url.c_str();
    }
    options.fAutoLogonIfChallenged = TRUE;
    WINHTTP_PROXY_INFO info{};
    if (!session ||
        !::WinHttpGetProxyForUrl(session.get(), to_wide(url).c_str(), &options, &info)) {
        return {::GetLastError(), {}, {}};
    }
    PacAnswer answer{0, take_text(info.lpszProxy), take_text(info.lpszProxyBypass)};
    if (info.dwAccessType != WINHTTP_ACCESS_TYPE_NAMED_PROXY) answer.proxy.clear();
    return answer;
}

}  // namespace

UniqueInternet open_session_for(std::string_view url) {
    const std::string machine = machine_proxy();
    const UserProxySetting user = user_setting();
    const bool asks = asks_pac(machine, user);
    const PacAnswer pac = asks ? ask_pac(url, user) : PacAnswer{};
    if (asks) {
        if (pac.error != 0) {
            log_event("no proxy from %: %", {user.pac_url.empty() ? "auto-detection" : user.pac_url,
                                             os_error_text(pac.error)});
        }
    }
    const ProxyChoice proxy = choose_proxy(machine, user, pac);
    log_event("GET % via % (%)", {url_for_log(url), proxy.proxy.empty() ? "direct" : proxy.proxy,
                                  proxy_source_name(proxy.source)});
    return open_session(proxy);
}
