// Platform-free rules of the installer launch: its command line and the text
// of a failed exit.
#pragma once

#include <cstdint>
#include <string>

#include "text/utf.h"

// The words after the program: silent, and without a reboot prompt.
inline constexpr const char* kInstallerParameters = "/S /R";

// The quoted program path, then /S and /R as words of their own.
[[nodiscard]] WideText installer_command_line(WideView setup_path);

// "Installer exited with code {}.", the code read as signed 32-bit.
[[nodiscard]] std::string installer_exit_text(std::uint32_t exit_code);
