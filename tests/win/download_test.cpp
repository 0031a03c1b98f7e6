// The download-and-install worker and the installer launch, for real: files
// under a temporary directory of the test's own, real NSIS installers built
// by makensis, fetched from the local update server.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "release/download.h"
#include "release/installer.h"
#include "support/log.h"
#include "text/utf.h"
#include "win32/system.h"
#include "win_test_support.h"

namespace {

std::string fixture(const char* name) {
    return read_file(wine_path(environment("VANTREL_FIXTURES") + "/" + name));
}

std::wstring marker_path() {
    return wine_path(environment("VANTREL_FIXTURES") + "/marker.txt");
}

// The marker is UTF-16LE with a byte-order mark: one line with the whole
// command line, one with the parameters alone, per run.
std::string marker_text() {
    const std::string bytes = read_file(marker_path());
    if (bytes.size() < 2) return {};
    WideText units;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        units.push_back(static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                             static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
    return from_wide_lossy(units);
}

std::string url_of(const std::string& release_path) {
    return "https://updates.vantrel.app/" + release_path;
}

// Points the system's temporary directory at a fresh folder for one test.
class Download : public testing::Test {
protected:
    void SetUp() override {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        temp_ = wine_path(environment("VANTREL_BUILD") + "/tmp/" + info->name()) + L"\\";
        remove_tree(temp_);
        ::CreateDirectoryW(wine_path(environment("VANTREL_BUILD") + "/tmp").c_str(), nullptr);
        ASSERT_TRUE(::CreateDirectoryW(temp_.c_str(), nullptr));
        ::SetEnvironmentVariableW(L"TMP", temp_.c_str());
        ::SetEnvironmentVariableW(L"TEMP", temp_.c_str());
        ::DeleteFileW(marker_path().c_str());
        ::DeleteFileW((marker_path() + L".runs").c_str());
    }

    static void remove_tree(const std::wstring& folder) {
        WIN32_FIND_DATAW found;
        const HANDLE search = ::FindFirstFileW((folder + L"*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = found.cFileName;
                if (name == L"." || name == L"..") continue;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    remove_tree(folder + name + L"\\");
                } else {
                    ::DeleteFileW((folder + name).c_str());
                }
            } while (::FindNextFileW(search, &found));
            ::FindClose(search);
        }
        ::RemoveDirectoryW(folder.c_str());
    }

    std::wstring setup_path(const char* version) {
        return temp_ + L"VantrelBootstrapper\\" +
               to_wide(std::string("Vantrel-") + version + ".exe");
    }

    // The messages of one run of the worker, Progress left out.
    std::vector<WorkerMessage> run(const std::string& version, const std::string& url) {
        download_and_install(collector.channel(), version, url);
        std::vector<WorkerMessage> rest;
        for (auto& m : collector.drain()) {
            if (std::holds_alternative<WorkerMessage::Progress>(m.body)) {
                ++progress_count;
            } else {
                rest.push_back(std::move(m));
            }
        }
        return rest;
    }

    static std::string failure_of(const std::vector<WorkerMessage>& messages) {
        if (messages.empty()) return "(no message)";
        const auto* failed = std::get_if<WorkerMessage::Failed>(&messages.back().body);
        return failed ? failed->message : "(not Failed)";
    }

    // Each message as "Installing: <detail>", "Installed <detail>" or "Failed <text>".
    static std::vector<std::string> texts_of(const std::vector<WorkerMessage>& messages) {
        std::vector<std::string> texts;
        for (const auto& m : messages) {
            if (const auto* status = std::get_if<WorkerMessage::Status>(&m.body)) {
                texts.push_back(status->status + ": " + status->detail);
            } else if (const auto* done = std::get_if<WorkerMessage::Installed>(&m.body)) {
                texts.push_back("Installed " + done->detail);
            } else if (const auto* failed = std::get_if<WorkerMessage::Failed>(&m.body)) {
                texts.push_back("Failed " + failed->message);
            }
        }
        return texts;
    }

    // The support log of this test's temporary folder, from now on.
    void open_log() { open_support_log("test"); }
    std::string log_text() { return read_file(temp_ + L"VantrelBootstrapper\\bootstrapper.log"); }

    std::wstring temp_;
    MessageCollector collector;
    int progress_count = 0;
};

TEST_F(Download, StoresTheServedBytesAndRunsThemSilently) {
    const std::string setup = fixture("setup-exit0.exe");
    ASSERT_FALSE(setup.empty());
    write_release_file("dl/setup-exit0.exe", setup);

    const auto messages = run("9.1.0", url_of("dl/setup-exit0.exe"));
    EXPECT_GT(progress_count, 0);
    ASSERT_EQ(messages.size(), 2u);
    const auto* installing = std::get_if<WorkerMessage::Status>(&messages[0].body);
    ASSERT_NE(installing, nullptr);
    EXPECT_EQ(installing->status, "Installing");
    EXPECT_EQ(installing->detail, "Finishing setup...");
    EXPECT_EQ(installing->progress, 1.0f);
    EXPECT_TRUE(installing->busy);
    const auto* installed = std::get_if<WorkerMessage::Installed>(&messages[1].body);
    ASSERT_NE(installed, nullptr);
    EXPECT_EQ(installed->detail, "9.1.0");

    // Installed: the setup is deleted.
    EXPECT_FALSE(file_exists(setup_path("9.1.0")));
    // The installer saw its own quoted path and the two switches, once.
    EXPECT_EQ(marker_text(), "\"" + from_wide_lossy(setup_path("9.1.0")) + "\" /S /R\r\n/S /R\r\n");
}

TEST_F(Download, SameVersionIsReplacedAndOtherVersionsGo) {
    write_release_file("dl/page.html", "<html>not a program</html>");
    write_release_file("dl/other.html", "<html>another page, longer than the first</html>");
    (void)run("1.4.2", url_of("dl/other.html"));
    const std::wstring folder = temp_ + L"VantrelBootstrapper\\";
    write_file(folder + L"Vantrel-1.4.1.exe.partial", "part");
    write_file(folder + L"bootstrapper.log", "log");
    (void)run("1.4.3", url_of("dl/other.html"));
    (void)run("1.4.3", url_of("dl/page.html"));
    EXPECT_EQ(read_file(setup_path("1.4.3")), "<html>not a program</html>");
    EXPECT_FALSE(file_exists(setup_path("1.4.2")));
    EXPECT_FALSE(file_exists(folder + L"Vantrel-1.4.1.exe.partial"));
    EXPECT_EQ(read_file(folder + L"bootstrapper.log"), "log");
}

TEST_F(Download, FailedTransferLeavesTheEarlierFileUntouched) {
    write_release_file("dl/page.html", "<html>not a program</html>");
    (void)run("3.0", url_of("dl/page.html"));
    const auto messages = run("3.0", url_of("status/403/dl/page.html"));
    EXPECT_EQ(failure_of(messages), "Server returned HTTP status 403.");
    ASSERT_EQ(messages.size(), 1u);  // no Installing: the installer never ran
    EXPECT_EQ(read_file(setup_path("3.0")), "<html>not a program</html>");

    const auto missing = run("3.1", url_of("dl/none.exe"));
    EXPECT_EQ(failure_of(missing), "Server returned HTTP status 404.");
    EXPECT_FALSE(file_exists(setup_path("3.1")));
}

TEST_F(Download, UnsafeVersionsAreRefusedBeforeAnythingHappens) {
    write_release_file("dl/page.html", "<html>not a program</html>");
    struct Case {
        std::string version;
        DWORD error;
    };
    const Case cases[] = {
        {"..\\..\\evil", ERROR_INVALID_NAME},
        {"../x", ERROR_INVALID_NAME},
        {"1/2", ERROR_INVALID_NAME},
        {"C:evil", ERROR_INVALID_NAME},
        {"a:b", ERROR_INVALID_NAME},
        // A setup path beyond MAX_PATH, whatever the temporary folder's length.
        {std::string(MAX_PATH, '9'), ERROR_FILENAME_EXCED_RANGE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        const auto messages = run(c.version, url_of("dl/page.html"));
        EXPECT_EQ(failure_of(messages), os_error_text(c.error));
        EXPECT_TRUE(failure_of(messages).ends_with(" (os error " + std::to_string(c.error) + ")"));
    }
    EXPECT_EQ(progress_count, 0);
    // Not even the download folder was made.
    EXPECT_FALSE(file_exists(temp_ + L"VantrelBootstrapper"));
    EXPECT_FALSE(file_exists(temp_ + L"evil"));
}

TEST_F(Download, AFileInPlaceOfTheFolderGivesTheSystemText) {
    write_release_file("dl/page.html", "<html>not a program</html>");
    const std::wstring blocker = temp_ + L"VantrelBootstrapper";
    write_file(blocker, "");
    ASSERT_TRUE(file_exists(blocker));
    const auto messages = run("4.0", url_of("dl/page.html"));
    const std::string failure = failure_of(messages);
    // The folder cannot be made, silently; creating the file through it then
    // fails with the system's path-not-found text.
    EXPECT_EQ(failure, os_error_text(ERROR_PATH_NOT_FOUND));
    EXPECT_TRUE(failure.ends_with(" (os error 3)")) << failure;
}

// What others may do to the stored setup while the launcher starts it: the
// sharing rules hold for every opener, in this process as in any other.
struct OpensAtStart {
    static inline std::vector<DWORD> errors;
    static Result<UniqueHandle> start(const std::wstring& path) {
        for (const DWORD access : {DWORD{GENERIC_WRITE}, DWORD{DELETE}, DWORD{GENERIC_READ}}) {
            const UniqueFile other(::CreateFileW(
                path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            errors.push_back(other ? 0 : ::GetLastError());
        }
        return kSystemLauncher.start(path);
    }
};

TEST_F(Download, NobodyCanChangeTheStoredSetupUntilItHasStarted) {
    write_release_file("dl/setup-exit0.exe", fixture("setup-exit0.exe"));
    download_and_install(collector.channel(), "9.2", url_of("dl/setup-exit0.exe"), std::nullopt,
                         {OpensAtStart::start, kSystemLauncher.start_elevated});
    const auto messages = collector.drain();
    ASSERT_FALSE(messages.empty());
    EXPECT_TRUE(std::holds_alternative<WorkerMessage::Installed>(messages.back().body));
    // Writers and deleters are refused, readers not; then the file is free,
    // and deleted after the install.
    EXPECT_EQ(OpensAtStart::errors,
              (std::vector<DWORD>{ERROR_SHARING_VIOLATION, ERROR_SHARING_VIOLATION, 0}));
    EXPECT_FALSE(file_exists(setup_path("9.2")));
}

// A scanner (tests/win/scanner.cpp) opens the partial file while it is
// written and holds it after the last byte: the rename fails with 32 while it
// holds, and with 2 once it has deleted the file.
TEST_F(Download, AFileHeldByAnotherProgramIsWaitedFor) {
    const std::string setup = fixture("setup-exit0.exe");
    write_release_file("dl/setup-exit0.exe", setup);
    open_log();
    const struct {
        const char* version;
        const wchar_t* hold;  // ms, and whether it deletes the file then
        const char* end;
        const char* logged;
    } cases[] = {
        {"9.3", L"1500", "Installed 9.3", "rename held (code 32): try 2 of 5 in 1000 ms"},
        {"9.4", L"1500 delete",
         "Failed Security software on this computer blocked the setup program.",
         "rename held (code 32): try 2 of 5 in 1000 ms"},
        {"9.5", L"30000",
         "Failed Another program, such as security software, is using the setup program.",
         "rename held (code 32): try 5 of 5 in 4000 ms"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        ::DeleteFileW(marker_path().c_str());
        std::wstring command = L"scanner \"" + setup_path(c.version) + L".partial\" " +
                               std::to_wstring(setup.size()) + L" " + c.hold;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        ASSERT_TRUE(::CreateProcessW(
            wine_path(environment("VANTREL_BUILD") + "/scanner.exe").c_str(), command.data(),
            nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started));
        const UniqueHandle scanner(started.hProcess), thread(started.hThread);
        EXPECT_EQ(texts_of(run(c.version, url_of("slow/100/dl/setup-exit0.exe"))).back(), c.end);
        EXPECT_EQ(file_exists(marker_path()), c.end[0] == 'I');  // run only when installed
        EXPECT_NE(log_text().find(c.logged), std::string::npos) << log_text();
        ::TerminateProcess(scanner.get(), 3);  // the one still holding
        ::WaitForSingleObject(scanner.get(), INFINITE);
    }
}

TEST(SystemText, KnownCodeAndUnknownCode) {
    const std::string known = os_error_text(ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(known.ends_with(" (os error 2)")) << known;
    EXPECT_GT(known.size(), std::string(" (os error 2)").size());
    EXPECT_NE(known[known.size() - 14], ' ');        // trailing blanks went
    EXPECT_EQ(known.find('\n'), std::string::npos);  // and the line break
    const DWORD unknown = 0x2FFFFFFF;
    const std::string fallback = os_error_text(unknown);
    EXPECT_TRUE(fallback.starts_with("OS Error 805306367 (FormatMessageW() returned error "))
        << fallback;
    EXPECT_TRUE(fallback.ends_with(")"));
}

class Installer : public Download {
protected:
    std::vector<WorkerMessage> install(const std::wstring& path) {
        run_installer(collector.channel(), path, "7.7");
        return collector.drain();
    }
    std::wstring stored(const char* name, const std::string& bytes) {
        const std::wstring path = temp_ + to_wide(name);
        write_file(path, bytes);
        return path;
    }
};

TEST_F(Installer, ExitCodesBecomeTheFinalMessage) {
    const std::string waiting = "Installing: Waiting for another installation to finish...";
    const struct {
        const char* fixture;
        std::vector<std::string> after_start;
    } cases[] = {
        {"setup-exit0.exe", {"Installed 7.7"}},
        {"setup-exit3010.exe", {"Installed Restart Windows to finish installing 7.7."}},
        {"setup-exit1602.exe", {"Failed Installation was cancelled."}},
        {"setup-exit1.exe", {"Failed Installer exited with code 1."}},
        {"setup-exit3221225477.exe", {"Failed Installer exited with code -1073741819."}},
        // 1618 twice: started again after 5 s and after 10 s.
        {"setup-busy2.exe", {waiting, waiting, "Installed 7.7"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fixture);
        const std::wstring path = stored(c.fixture, fixture(c.fixture));
        std::vector<std::string> expected = {"Installing: Finishing setup..."};
        expected.insert(expected.end(), c.after_start.begin(), c.after_start.end());
        EXPECT_EQ(texts_of(install(path)), expected);
        // Deleted once installed, kept otherwise.
        EXPECT_EQ(file_exists(path), expected.back().starts_with("Failed"));
    }
}

TEST_F(Installer, ASetupPastItsTimeLimitIsLeftRunning) {
    open_log();
    const std::wstring path = stored("setup-sleep.exe", fixture("setup-sleep.exe"));
    run_installer(collector.channel(), path, "7.7",
                  {kSystemLauncher.start, kSystemLauncher.start_elevated, 1000});
    EXPECT_EQ(texts_of(collector.drain()),
              (std::vector<std::string>{"Installing: Finishing setup...",
                                        "Failed Setup did not finish within 15 minutes."}));
    // Not ended: it finished its sleep and exited 0 on its own.
    const std::string log = log_text();
    const auto late = log.find("installer still running after 1000 ms");
    EXPECT_NE(late, std::string::npos) << log;
    EXPECT_NE(log.find("installer exit code 0", late), std::string::npos) << log;
    EXPECT_TRUE(file_exists(path));
}

TEST_F(Installer, ProgramsThatCannotStartGiveTheSystemText) {
    EXPECT_EQ(failure_of(install(stored("page.exe", "<html>404</html>"))),
              os_error_text(ERROR_BAD_EXE_FORMAT));
    // A setup gone between its check and its start: quarantined, most likely.
    EXPECT_EQ(failure_of(install(temp_ + L"absent.exe")),
              "Security software on this computer blocked the setup program.");
}

// The system raises ERROR_ELEVATION_REQUIRED only on Windows, for a setup
// whose manifest asks for administrator rights: the launcher seam stands in
// for CreateProcessW, and the real shell launch (Wine runs "runas" as a
// plain start) or a declined prompt for the elevated one.
struct Launches {
    static inline DWORD start_error = 0;
    static inline DWORD elevated_error = 0;
    static inline int elevated = 0;
    static inline HWND owner = nullptr;

    static Result<UniqueHandle> start(const std::wstring&) { return os_failure(start_error); }
    static Result<UniqueHandle> start_elevated(HWND window, const std::wstring& path) {
        ++elevated;
        owner = window;
        if (elevated_error != 0) return os_failure(elevated_error);
        return kSystemLauncher.start_elevated(window, path);
    }
};

TEST_F(Installer, ASetupThatNeedsElevationIsStartedThroughThePrompt) {
    struct Case {
        DWORD start_error, elevated_error;
        int elevated;
        const char* failure;  // null: Installed
    };
    const std::string not_a_program = os_error_text(ERROR_BAD_EXE_FORMAT);
    const Case cases[] = {
        {740, 0, 1, nullptr},
        {740, ERROR_CANCELLED, 1, "Installation was cancelled."},
        {ERROR_BAD_EXE_FORMAT, 0, 0, not_a_program.c_str()},
    };
    const std::wstring path = stored("setup-exit0.exe", fixture("setup-exit0.exe"));
    const ProcessLauncher launcher{Launches::start, Launches::start_elevated};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start_error);
        ::DeleteFileW(marker_path().c_str());
        Launches::start_error = c.start_error;
        Launches::elevated_error = c.elevated_error;
        Launches::elevated = 0;
        run_installer(collector.channel(), path, "7.7", launcher);
        const auto messages = collector.drain();
        EXPECT_EQ(Launches::elevated, c.elevated);
        if (c.failure) {
            EXPECT_EQ(failure_of(messages), c.failure);
            EXPECT_FALSE(file_exists(marker_path()));
        } else {
            ASSERT_EQ(messages.size(), 2u);
            EXPECT_TRUE(std::holds_alternative<WorkerMessage::Installed>(messages[1].body));
            EXPECT_EQ(Launches::owner, collector.window());
            // The same silent words reached the setup through the shell.
            EXPECT_TRUE(marker_text().ends_with("\r\n/S /R\r\n")) << marker_text();
        }
    }
}

}  // namespace
