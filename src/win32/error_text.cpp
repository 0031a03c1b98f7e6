#include "win32/error_text.h"

#include "base/decimal.h"

std::string os_error_message(std::uint32_t code, const SystemText& lookup) {
    if (!lookup.text) {
        return "OS Error " + decimal(code) + " (FormatMessageW() returned error " +
               decimal(lookup.lookup_error) + ")";
    }
    auto text = from_wide_strict(*lookup.text);
    if (!text) return "OS Error " + decimal(code) + " (FormatMessageW() returned invalid UTF-16)";
    while (!text->empty() && (text->back() == '\r' || text->back() == '\n' || text->back() == ' ' ||
                              text->back() == '\t')) {
        text->pop_back();
    }
    return *text + " (os error " + decimal(code) + ")";
}
