#include "release/release_rules.h"

#include "text/decimal.h"

bool version_is_safe_in_file_name(std::string_view version) {
    // A NUL would silently cut the name short at the system call.
    return version.find_first_of(std::string_view("\\/:\0", 4)) == std::string_view::npos;
}

std::string setup_file_name(std::string_view version) {
    return "Vantrel-" + std::string(version) + ".exe";
}

WideText join_path(WideView base, WideView part) {
    WideText joined(base);
    if (joined.empty() || joined.back() != WideChar('\\')) joined.push_back(WideChar('\\'));
    joined.append(part);
    return joined;
}

WideText installer_command_line(WideView setup_path) {
    WideText line;
    line.push_back(WideChar('"'));
    line.append(setup_path);
    line.push_back(WideChar('"'));
    for (const char c : std::string_view(" /S /R")) line.push_back(WideChar(c));
    return line;
}

std::string installer_exit_text(std::uint32_t exit_code) {
    return "Installer exited with code " + decimal(static_cast<std::int32_t>(exit_code)) + ".";
}

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
