// The proxy for each request, chosen from the system's settings as
// proxy_rules.h says, and the WinHTTP session opened with it.
#pragma once

#include <string_view>

#include "release/proxy_rules.h"
#include "win32/handles.h"

// Reads the machine's and the user's setting and, when they ask for it, the
// PAC answer for `url`.
[[nodiscard]] ProxyChoice proxy_for_url(std::string_view url);

// A synchronous session with the proxy already in it: WinHTTP ignores a proxy
// set on a session or request afterwards.
[[nodiscard]] UniqueInternet open_session(const ProxyChoice& proxy);
