#include "net/proxy.h"

#include "app_info.h"
#include "net/http_rules.h"
#include "net/transfer_rules.h"
#include "support/log.h"
#include "text/utf.h"
#include "win32/system.h"

namespace {

// A text the system handed over, whole, or empty for none.
WideView view_of(const UniqueGlobalText& text) {
    return text ? WideView(text.get()) : WideView();
}

// Time limits of every request: name resolution, connect and send 30 s each;
// a silent connection 60 s.
constexpr int kResolveMs = 30000, kConnectMs = 30000, kSendMs = 30000, kReceiveMs = 60000;

// Every session, the PAC questions' too, carries the time limits of every
// request, and asks for TLS 1.2 where the system offers it only when asked.
UniqueInternet open_session(const ProxyChoice& proxy) {
    const WideText agent = to_wide(app::kAppName.c_str());
    // Each view is a whole text from the system, so it ends in a NUL.
    // WinHTTP takes a proxy name only with NAMED_PROXY; the machine's proxy is
    // in the choice for the log alone.
    const bool named = proxy.access == ProxyAccess::named;
    UniqueInternet session(::WinHttpOpen(
        agent.c_str(),
        named                                 ? WINHTTP_ACCESS_TYPE_NAMED_PROXY
        : proxy.access == ProxyAccess::direct ? WINHTTP_ACCESS_TYPE_NO_PROXY
                                              : WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
        named ? proxy.proxy.data() : WINHTTP_NO_PROXY_NAME,
        named && !proxy.bypass.empty() ? proxy.bypass.data() : WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) return session;
    ::WinHttpSetTimeouts(session.get(), kResolveMs, kConnectMs, kSendMs, kReceiveMs);
    // Windows 7 and 8.0 offer update hosts only SSL 3 and TLS 1.0 unless asked.
    const WindowsVersion windows = windows_version();
    if (asks_for_tls12(windows.major, windows.minor)) {
        DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_1 |
                          WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
        if (!::WinHttpSetOption(session.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols,
                                sizeof protocols)) {
            log_event("TLS 1.2 not enabled: %", {os_error_text(::GetLastError())});
        }
    }
    return session;
}

// One PAC question. The user's Windows logon is offered only to a PAC host
// that asked for it, never first: a hostile network can name the WPAD host.
DWORD ask(HINTERNET session, const WideText& url, WINHTTP_AUTOPROXY_OPTIONS& options,
          WINHTTP_PROXY_INFO& info) {
    for (const BOOL logon : {FALSE, TRUE}) {
        options.fAutoLogonIfChallenged = logon;
        if (session && ::WinHttpGetProxyForUrl(session, url.c_str(), &options, &info)) return 0;
        if (::GetLastError() != ERROR_WINHTTP_LOGIN_FAILURE) break;
    }
    return ::GetLastError();
}

}  // namespace

// Windows asks auto-detection first and the PAC URL after it; asked one at a
// time, the log can name the one that answered. The answer's proxy list and
// bypass go to `info`, for the caller to own.
PacAnswer ProxyLookup::ask_pac(const WideText& url, const UserProxySetting& user,
                               WINHTTP_PROXY_INFO& info) {
    if (!session_) session_ = open_session({ProxyAccess::direct, {}, {}, ProxySource::none});
    const PacQuestions asked = pac_questions(user, failed_);
    PacAnswer answer;
    answer.error = ERROR_WINHTTP_AUTODETECTION_FAILED;
    if (asked.auto_detect) {
        WINHTTP_AUTOPROXY_OPTIONS options{};
        options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
        answer.error = ask(session_.get(), url, options, info);
        answer.by_auto_detect = answer.error == 0;
        if (answer.error != 0) note_failure(true, "auto-detection", answer.error);
    }
    if (answer.error != 0 && asked.pac_url) {
        WINHTTP_AUTOPROXY_OPTIONS options{};
        options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = user.pac_url.data();
        answer.error = ask(session_.get(), url, options, info);
        if (answer.error != 0) {
            note_failure(false, url_for_log(from_wide_lossy(user.pac_url)), answer.error);
        }
    }
    return answer;
}

void ProxyLookup::note_failure(bool auto_detect, std::string_view source, DWORD error) {
    note_pac_failure(failed_, auto_detect, error);
    log_event("no proxy from %: %", {source, os_error_text(error)});
}

UniqueInternet ProxyLookup::open_session_for(std::string_view url) {
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
    if (asks_pac(machine_named, user)) pac = ask_pac(to_wide(url), user, answer);
    const UniqueGlobalText answer_proxy(answer.lpszProxy);
    const UniqueGlobalText answer_bypass(answer.lpszProxyBypass);
    if (answer.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY) {
        pac.proxy = view_of(answer_proxy);
        pac.bypass = view_of(answer_bypass);
    }
    const ProxyChoice proxy = choose_proxy(machine_named, user, pac);
    log_event("GET % via % (%)",
              {url_for_log(url),
               proxy.proxy.empty() ? "direct" : proxy_list_for_log(from_wide_lossy(proxy.proxy)),
               proxy_source_name(proxy.source)});
    return open_session(proxy);
}
