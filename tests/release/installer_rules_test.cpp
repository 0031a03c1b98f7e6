#include <gtest/gtest.h>

#include <cstdint>
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

}  // namespace
