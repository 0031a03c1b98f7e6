#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
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

TEST(InstallerRules, HeldFileWaits) {
    struct Case {
        std::uint32_t os_error;
        unsigned tries;
        std::optional<std::uint32_t> wait_ms;
    };
    const std::vector<Case> cases = {
        {32, 1, 1000},         {32, 2, 2000},          {32, 3, 3000},        {32, 4, 4000},
        {32, 5, std::nullopt}, {33, 1, 1000},          {5, 4, 4000},         {5, 5, std::nullopt},
        {2, 1, std::nullopt},  {225, 1, std::nullopt}, {0, 1, std::nullopt}, {740, 1, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.os_error << " after " << c.tries);
        EXPECT_EQ(held_file_wait_ms(c.os_error, c.tries), c.wait_ms);
    }
}

TEST(InstallerRules, StepFailureTexts) {
    const std::string held =
        "Another program, such as security software, is using the setup program.";
    const std::string blocked = "Security software on this computer blocked the setup program.";
    struct Case {
        std::uint32_t os_error;
        std::string text;
    };
    const std::vector<Case> cases = {
        {32, held},
        {33, held},
        {5, held},
        {225, blocked},
        {226, blocked},
        {2, blocked},
        {3, blocked},
        {1223, "Installation was cancelled."},
        {193, "system text"},
        {740, "system text"},
        {0, "system text"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.os_error);
        const Failure failure = step_failure({"system text", c.os_error});
        EXPECT_EQ(failure.message, c.text);
        EXPECT_EQ(failure.os_error, c.os_error);
    }
}

TEST(InstallerRules, ExitOutcomes) {
    using End = ExitOutcome::End;
    struct Case {
        std::uint32_t exit_code;
        const char* version;
        unsigned tries;
        End end;
        std::string detail;
        std::uint32_t wait_ms;
    };
    const std::string busy = "Waiting for another installation to finish...";
    const std::vector<Case> cases = {
        {0, "1.4.2", 1, End::installed, "1.4.2", 0},
        {0, "", 1, End::installed, "", 0},
        {3010, "1.4.2", 1, End::installed, "Restart Windows to finish installing 1.4.2.", 0},
        {3011, "1.4.2", 2, End::installed, "Restart Windows to finish installing 1.4.2.", 0},
        {1641, "", 1, End::installed, "Restart Windows to finish installing latest.", 0},
        {1602, "1.4.2", 1, End::failed, "Installation was cancelled.", 0},
        {1223, "1.4.2", 1, End::failed, "Installer exited with code 1223.", 0},
        {1618, "1.4.2", 1, End::start_again, busy, 5000},
        {1618, "1.4.2", 2, End::start_again, busy, 10000},
        {1618, "1.4.2", 3, End::start_again, busy, 20000},
        {1618, "1.4.2", 4, End::start_again, busy, 40000},
        {1618, "1.4.2", 5, End::failed,
         "Another installation is in progress. Try again when it has finished.", 0},
        {1, "1.4.2", 1, End::failed, "Installer exited with code 1.", 0},
        {2, "1.4.2", 1, End::failed, "Installer exited with code 2.", 0},
        {3221225477u, "1.4.2", 1, End::failed, "Installer exited with code -1073741819.", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.exit_code << " after " << c.tries);
        const ExitOutcome outcome = exit_outcome(c.exit_code, c.version, c.tries);
        EXPECT_EQ(outcome.end, c.end);
        EXPECT_EQ(outcome.detail, c.detail);
        EXPECT_EQ(outcome.wait_ms, c.wait_ms);
    }
}

}  // namespace
