// The proxy for each request, chosen from the system's settings as
// proxy_rules.h says, and the WinHTTP session opened with it.
#pragma once

#include <string_view>

#include "net/proxy_rules.h"
#include "win32/handles.h"

// A synchronous session for a GET of `url`, through the proxy that the
// machine's and the user's settings and, when they ask for it, the PAC answer
// for `url` choose; the choice goes to the log. The proxy is in the session
// from the start: Windows would also take one set afterwards
// (WINHTTP_OPTION_PROXY), but Wine 8 ignores that. The session carries the
// time limits of every request, and asks for TLS 1.2 where the system offers
// it only when asked.
[[nodiscard]] UniqueInternet open_session_for(std::string_view url);
