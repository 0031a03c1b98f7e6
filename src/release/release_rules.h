// Platform-free rules of the download-and-install worker: the setup file's
// name, the installer's command line and the texts of its outcome.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "text/utf.h"

inline constexpr const char* kDownloadFolder = "VantrelBootstrapper";

// The version comes from the network and becomes part of a file name. The
// system resolves "..\" lexically, so a separator or a drive colon in it
// could place the file outside the download folder: such a version is refused.
[[nodiscard]] bool version_is_safe_in_file_name(std::string_view version);

// "Vantrel-{}.exe".
[[nodiscard]] std::string setup_file_name(std::string_view version);

// `base` and `part` joined by one backslash, unless `base` already ends in one.
[[nodiscard]] WideText join_path(WideView base, WideView part);

// The quoted program path, then /S and /R as words of their own.
[[nodiscard]] WideText installer_command_line(WideView setup_path);

// "Installer exited with code {}.", the code read as signed 32-bit.
[[nodiscard]] std::string installer_exit_text(std::uint32_t exit_code);

// "{} (os error {})" from the system's text for a code, with trailing line
// breaks and blanks removed; the two fallbacks when the lookup failed (its
// error given) or its text was not valid UTF-16 (nothing given).
struct SystemText {
    std::optional<WideText> text;    // what the lookup returned, when it succeeded
    std::uint32_t lookup_error = 0;  // the lookup's own error, when it failed
};
[[nodiscard]] std::string os_error_message(std::uint32_t code, const SystemText& lookup);
