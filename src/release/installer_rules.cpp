#include "release/installer_rules.h"

#include <string_view>

#include "base/decimal.h"

WideText installer_command_line(WideView setup_path) {
    WideText line;
    line.push_back(WideChar('"'));
    line.append(setup_path);
    line.push_back(WideChar('"'));
    line.push_back(WideChar(' '));
    for (const char c : std::string_view(kInstallerParameters)) line.push_back(WideChar(c));
    return line;
}

std::string installer_exit_text(std::uint32_t exit_code) {
    std::string text = "Installer exited with code ";
    text += decimal(static_cast<std::int32_t>(exit_code));
    text += '.';
    return text;
}
