#include "release/installer_rules.h"

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

namespace {

bool is_held(std::uint32_t os_error) {
    // Sharing violation, lock violation, access denied.
    return os_error == 32 || os_error == 33 || os_error == 5;
}

constexpr const char* kCancelled = "Installation was cancelled.";

}  // namespace

std::optional<std::uint32_t> held_file_wait_ms(std::uint32_t os_error, unsigned tries) {
    if (!is_held(os_error) || tries >= kHeldFileTries) return std::nullopt;
    return tries * 1000;
}

Failure step_failure(Failure failure) {
    const std::uint32_t code = failure.os_error;
    if (is_held(code)) {
        failure.message = "Another program, such as security software, is using the setup program.";
    } else if (code == 225 || code == 226 || code == 2 || code == 3) {
        // Infected, deleted as infected, or quarantined without a word.
        failure.message = "Security software on this computer blocked the setup program.";
    } else if (code == 1223) {
        failure.message = kCancelled;
    }
    return failure;
}

ExitOutcome exit_outcome(std::uint32_t exit_code, std::string_view version, unsigned tries) {
    using End = ExitOutcome::End;
    switch (exit_code) {
        case 0:
            return {End::installed, std::string(version)};
        case 3010:  // restart required
        case 3011:  // restart required, changes not yet in effect
        case 1641:  // restart started
            return {End::installed, "Restart Windows to finish installing " +
                                        std::string(version.empty() ? "latest" : version) + "."};
        case 1602:  // the user cancelled
            return {End::failed, kCancelled};
        case 1618:  // another installation is in progress
            if (tries < 5) {
                return {End::start_again, "Waiting for another installation to finish...",
                        5000u << (tries - 1)};
            }
            return {End::failed,
                    "Another installation is in progress. Try again when it has finished."};
        default:
            return {End::failed, installer_exit_text(exit_code)};
    }
}
