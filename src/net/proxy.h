// The proxy for each request, chosen from the system's settings as
// proxy_rules.h says, and the WinHTTP session opened with it.
#pragma once

#include <string_view>

#include "net/proxy_rules.h"
#include "win32/handles.h"

// The proxy choices of one transfer, over its attempts and their hops: the
// session the PAC questions are asked in (Windows keeps the PAC script in it)
// and the questions that failed, which only the next transfer asks again.
class ProxyLookup {
public:
    // A synchronous session for a GET of `url`, through the proxy that the
    // machine's and the user's settings and, when they ask for it, the PAC
    // answer for `url` choose; the choice goes to the log. The proxy is in
    // the session from the start: Windows would also take one set afterwards
    // (WINHTTP_OPTION_PROXY), but Wine 8 ignores that.
    [[nodiscard]] UniqueInternet open_session_for(std::string_view url);

private:
    PacAnswer ask_pac(const WideText& url, const UserProxySetting& user, WINHTTP_PROXY_INFO& info);
    // Remembers a failed question for this transfer's later hops, and logs it.
    void note_failure(bool auto_detect, std::string_view source, DWORD error);

    UniqueInternet session_;  // for the PAC questions; made at the first
    PacFailures failed_;
};
