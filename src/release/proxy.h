// The proxy for each request, chosen from the system's settings as
// proxy_rules.h says, and the WinHTTP session opened with it.
#pragma once

#include <string_view>

#include "release/proxy_rules.h"
#include "win32/handles.h"

// A synchronous session for a GET of `url`, through the proxy that the
// machine's and the user's settings and, when they ask for it, the PAC answer
// for `url` choose; the choice goes to the log. The proxy is in the session
// from the start: WinHTTP ignores one set on a session or request afterwards.
[[nodiscard]] UniqueInternet open_session_for(std::string_view url);
