#include "win32/error_text.h"

#include "base/decimal.h"

std::string os_error_message(std::uint32_t code, const SystemText& lookup) {
    auto text = lookup.text ? from_wide_strict(*lookup.text) : std::nullopt;
    if (!text) {
        std::string message = "OS Error ";
        message += decimal(code);
        if (lookup.text) {
            message += " (FormatMessageW() returned invalid UTF-16)";
        } else {
            message += " (FormatMessageW() returned error ";
            message += decimal(lookup.lookup_error);
            message += ')';
        }
        return message;
    }
    while (!text->empty() && (text->back() == '\r' || text->back() == '\n' || text->back() == ' ' ||
                              text->back() == '\t')) {
        text->pop_back();
    }
    *text += " (os error ";
    *text += decimal(code);
    *text += ')';
    return std::move(*text);
}
