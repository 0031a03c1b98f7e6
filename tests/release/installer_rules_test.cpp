#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "release/installer_rules.h"
#include "wide_text.h"

namespace {

TEST(InstallerRules, CommandLine) {
    EXPECT_EQ(narrow(installer_command_line(wide(u"C:\\t\\V.exe"))), "\"C:\\t\\V.exe\" /S /R");
    EXPECT_EQ(narrow(installer_command_line(wide(u"C:\\a b\\V.exe"))), "\"C:\\a b\\V.exe\" /S /R");
}

TEST(InstallerRules, InstallerExitText) {
    struct Case {
        std::uint32_t code;
        std::string text;
    };
    const std::vector<Case> cases = {
        {0, "Installer exited with code 0."},
        {1, "Installer exited with code 1."},
        {2147483647, "Installer exited with code 2147483647."},
        {2147483648u, "Installer exited with code -2147483648."},
        {3221225477u, "Installer exited with code -1073741819."},
        {4294967295u, "Installer exited with code -1."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(installer_exit_text(c.code), c.text);
    }
}

TEST(InstallerRules, FailedStepsOnTheStoredSetup) {
    const std::string held =
        "Another program, such as security software, is using the setup program.";
    const std::string blocked = "Security software on this computer blocked the setup program.";
    const std::vector<std::pair<std::uint32_t, std::string>> cases = {
        {32, held},     {33, held},     {5, held},    {225, blocked},
        {226, blocked}, {2, blocked},   {3, blocked}, {1223, "Installation was cancelled."},
        {193, "as is"}, {740, "as is"}, {0, "as is"},
    };
    // A held file is tried 5 times, 1, 2, 3 and 4 s apart; anything else once.
    const std::optional<std::uint32_t> held_waits[] = {1000, 2000, 3000, 4000, std::nullopt};
    for (const auto& [code, text] : cases) {
        SCOPED_TRACE(code);
        const Failure failure = step_failure({"as is", code});
        EXPECT_EQ(failure.message, text);
        EXPECT_EQ(failure.os_error, code);
        for (unsigned tries = 1; tries <= 5; ++tries) {
            EXPECT_EQ(held_file_wait_ms(code, tries),
                      text == held ? held_waits[tries - 1] : std::nullopt);
        }
    }
}

TEST(InstallerRules, ExitOutcomes) {
    using End = ExitOutcome::End;
    const std::string restart = "Restart Windows to finish installing 1.4.2.";
    const std::string busy = "Waiting for another installation to finish...";
    const struct {
        std::uint32_t exit_code;
        const char* version;
        unsigned tries;
        End end;
        std::string detail;
        std::uint32_t wait_ms;
    } cases[] = {
        {0, "1.4.2", 1, End::installed, "1.4.2", 0},
        {3010, "1.4.2", 1, End::installed, restart, 0},
        {3011, "1.4.2", 2, End::installed, restart, 0},
        {1641, "", 1, End::installed, "Restart Windows to finish installing latest.", 0},
        {1602, "1.4.2", 1, End::failed, "Installation was cancelled.", 0},
        {1223, "1.4.2", 1, End::failed, "Installer exited with code 1223.", 0},
        {1618, "1.4.2", 1, End::start_again, busy, 5000},
        {1618, "1.4.2", 2, End::start_again, busy, 10000},
        {1618, "1.4.2", 3, End::start_again, busy, 20000},
        {1618, "1.4.2", 4, End::start_again, busy, 40000},
        {1618, "1.4.2", 5, End::failed,
         "Another installation is in progress. Try again when it has finished.", 0},
        {2, "1.4.2", 1, End::failed, "Installer exited with code 2.", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.exit_code << " after " << c.tries);
        const ExitOutcome outcome = exit_outcome(c.exit_code, c.version, c.tries);
        EXPECT_EQ(outcome.end, c.end);
        EXPECT_EQ(outcome.detail, c.detail);
        EXPECT_EQ(outcome.wait_ms, c.wait_ms);
    }
}

}  // namespace
