#include "release/proxy.h"

#include "app_info.h"
#include "support/log.h"
#include "support/log_line.h"
#include "text/utf.h"
#include "win32/system.h"

namespace {

// A text the system handed over, whole, or empty for none.
WideView view_of(const UniqueGlobalText& text) {
    return text ? WideView(text.get()) : WideView();
}

UniqueInternet open_session(const ProxyChoice& proxy) {
    const WideText agent = to_wide(app::kAppName.c_str());
    // Each view is a whole text from the system, so it ends in a NUL.
    // WinHTTP takes a proxy name only with NAMED_PROXY; the machine's proxy is
    // in the choice for the log alone.
    const bool named = proxy.access == ProxyAccess::named;
    return UniqueInternet(::WinHttpOpen(
        agent.c_str(),
        named                                 ? WINHTTP_ACCESS_TYPE_NAMED_PROXY
        : proxy.access == ProxyAccess::direct ? WINHTTP_ACCESS_TYPE_NO_PROXY
                                              : WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
        named ? proxy.proxy.data() : WINHTTP_NO_PROXY_NAME,
        named && !proxy.bypass.empty() ? proxy.bypass.data() : WINHTTP_NO_PROXY_BYPASS, 0));
}

// The PAC answer's proxy list and bypass go to `info`, for the caller to own.
DWORD ask_pac(const WideText& url, const UserProxySetting& user, WINHTTP_PROXY_INFO& info) {
    const UniqueInternet session = open_session({});
    WINHTTP_AUTOPROXY_OPTIONS options{};
    if (user.auto_detect) {
        options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    }
    if (!user.pac_url.empty()) {
        options.dwFlags |= WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = user.pac_url.data();
    }
    options.fAutoLogonIfChallenged = TRUE;
    if (session && ::WinHttpGetProxyForUrl(session.get(), url.c_str(), &options, &info)) return 0;
    return ::GetLastError();
}

}  // namespace

UniqueInternet open_session_for(std::string_view url) {
    WINHTTP_PROXY_INFO machine{};
    if (!::WinHttpGetDefaultProxyConfiguration(&machine)) machine = {};
    const UniqueGlobalText machine_proxy(machine.lpszProxy);
    const UniqueGlobalText machine_bypass(machine.lpszProxyBypass);
    const WideView machine_named = machine.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY
                                       ? view_of(machine_proxy)
                                       : WideView();

    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
    if (!::WinHttpGetIEProxyConfigForCurrentUser(&config)) config = {};
    const UniqueGlobalText pac_url(config.lpszAutoConfigUrl);
    const UniqueGlobalText user_proxy(config.lpszProxy);
    const UniqueGlobalText user_bypass(config.lpszProxyBypass);
    const UserProxySetting user{config.fAutoDetect != FALSE, view_of(pac_url), view_of(user_proxy),
                                view_of(user_bypass)};

    WINHTTP_PROXY_INFO answer{};
    PacAnswer pac;
    if (asks_pac(machine_named, user)) {
        pac.error = ask_pac(to_wide(url), user, answer);
        if (pac.error != 0) {
            log_event("no proxy from %: %",
                      {user.pac_url.empty() ? "auto-detection" : from_wide_lossy(user.pac_url),
                       os_error_text(pac.error)});
        }
    }
    const UniqueGlobalText answer_proxy(answer.lpszProxy);
    const UniqueGlobalText answer_bypass(answer.lpszProxyBypass);
    if (answer.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY) {
        pac.proxy = view_of(answer_proxy);
        pac.bypass = view_of(answer_bypass);
    }
    const ProxyChoice proxy = choose_proxy(machine_named, user, pac);
    log_event("GET % via % (%)",
              {url_for_log(url), proxy.proxy.empty() ? "direct" : from_wide_lossy(proxy.proxy),
               proxy_source_name(proxy.source)});
    return open_session(proxy);
}
