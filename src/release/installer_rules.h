// Platform-free rules of the installer launch: its command line, what the
// setup's exit code means, and what a failed step on the stored setup means
// when another program (security software, mostly) has it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"
#include "text/utf.h"

// The words after the program: silent, and without a reboot prompt.
inline constexpr const char* kInstallerParameters = "/S /R";

// The quoted program path, then /S and /R as words of their own.
[[nodiscard]] WideText installer_command_line(WideView setup_path);

// "Installer exited with code {}.", the code read as signed 32-bit.
[[nodiscard]] std::string installer_exit_text(std::uint32_t exit_code);

// Scanners open a freshly written exe for seconds. A step on the stored setup
// (its rename, the open that holds it, its start, its deletion) that fails
// because the file is held (32, 33 or 5) is tried this often in all.
inline constexpr unsigned kHeldFileTries = 5;

// The wait before the next try of a step that failed `tries` times, the last
// time with `os_error`: 1, 2, 3 and 4 s while the file is held, else none.
[[nodiscard]] std::optional<std::uint32_t> held_file_wait_ms(std::uint32_t os_error,
                                                             unsigned tries);

// A step's last failure as the window shows it, its code kept for the log:
// held, removed by security software (225, 226, or the file gone: 2, 3), or
// the elevation prompt declined (1223); any other failure as it is.
[[nodiscard]] Failure step_failure(Failure failure);

// What the setup's exit code means after its `tries`-th start.
struct ExitOutcome {
    enum class End { installed, failed, start_again };
    End end;
    std::string detail;         // the window's detail line
    std::uint32_t wait_ms = 0;  // start_again: before the next start
};
[[nodiscard]] ExitOutcome exit_outcome(std::uint32_t exit_code, std::string_view version,
                                       unsigned tries);

// A setup that runs longer is reported as not finished, and left running.
inline constexpr std::uint32_t kSetupTimeLimitMs = 15 * 60 * 1000;
inline constexpr const char* kSetupTimedOut = "Setup did not finish within 15 minutes.";
