// UTF-16 test inputs written as u"" literals, and wide results shown as UTF-8
// so that a failure prints readably.
#pragma once

#include <string>
#include <string_view>

#include "text/utf.h"

inline WideText wide(std::u16string_view units) {
    WideText out;
    for (const char16_t u : units) out.push_back(static_cast<WideChar>(u));
    return out;
}

inline std::string narrow(const WideText& text) {
    return from_wide_lossy(text);
}
