#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"

// When present, the transfer posts a Progress message to this window after
// every read while the length is announced.
struct ProgressSink {
    HWND window;
};

using Body = std::vector<char>;

// One GET through WinHTTP, the whole body in memory. Fails with a short
// sentence: a step that failed, a status outside 200-299, or a body that
// ended before its announced length.
[[nodiscard]] Result<Body> http_get(std::string_view url, const ProgressSink* sink);
