// The download-and-install worker and the installer launch, for real: files
// under a temporary directory of the test's own, real NSIS installers built
// by makensis, fetched from the local update server.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/transfer.h"
#include "net/transfer_rules.h"
#include "release/download.h"
#include "release/installer.h"
#include "support/log.h"
#include "text/utf.h"
#include "trust/checksum.h"
#include "trust/checksum_rules.h"
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
    std::vector<WorkerMessage> run(const std::string& version, const std::string& url,
                                   BeforeHold before_hold = nullptr) {
        download_and_install(collector.channel(), version, url, std::nullopt, kSystemLauncher,
                             before_hold);
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

// The transfer alone, without the installer after it.
TEST_F(Download, ABodyFromByteZeroReplacesTheResumeRecord) {
    // v1 with its ETag, cut; then a server already on v2, without
    // validators, cut; then v1 again, which would answer If-Range with its tail.
    const std::string v1(1000, '1');
    write_release_file("dl/splice.bin", v1);
    write_release_file("dl/splice.bin.next", std::string(1000, '2'));
    write_release_file("dl/splice.bin.once", "0 cut/600\n0 next/400\n");
    const std::wstring path = temp_ + L"splice.bin";
    ASSERT_TRUE(download_to_file(collector.channel(), path, url_of("dl/splice.bin"), {}).ok());
    ASSERT_TRUE(store_partial(path).ok());
    EXPECT_EQ(read_file(path), v1);
}

TEST_F(Download, AWholeBodyThatFailsItsDigestIsNotFetchedAgain) {
    // Cut, then resumed but answered whole: the body is one answer's.
    write_release_file("dl/mismatch.bin", std::string(1000, 'm'));
    write_release_file("dl/mismatch.bin.once", "0 cut/600\n0 norange\n");
    const std::wstring path = temp_ + L"mismatch.bin";
    const auto got =
        download_to_file(collector.channel(), path, url_of("dl/mismatch.bin"), Sha256{});
    ASSERT_FALSE(got.ok());
    EXPECT_EQ(got.error(), "Downloaded setup does not match its checksum.");
    EXPECT_EQ(server_requests("GET /dl/mismatch.bin"), 2);
}

TEST_F(Download, AWhole206ShorterThanItsRangeIsRefused) {
    write_release_file("dl/whole.bin", std::string(1000, 'w'));
    const std::wstring path = temp_ + L"whole.bin";
    const auto got =
        download_to_file(collector.channel(), path, url_of("short206/dl/whole.bin"), {});
    ASSERT_FALSE(got.ok());
    EXPECT_EQ(got.error(), "Server returned HTTP status 206.");
    EXPECT_FALSE(file_exists(path));
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

// What another program may do to the stored setup between the download's
// close and the worker's open.
void replace_by_a_copy(const std::wstring& path) {
    write_file(path + L".copy", read_file(path));
    ::MoveFileExW((path + L".copy").c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}
void append_a_byte(const std::wstring& path) {
    write_file(path, read_file(path) + "x");
}
void set_an_earlier_time(const std::wstring& path) {
    const UniqueFile file(::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    const FILETIME earlier{0, 0x01D00000};  // in 2014
    ::SetFileTime(file.get(), nullptr, nullptr, &earlier);
}

TEST_F(Download, ASetupChangedBeforeItIsHeldNeverRuns) {
    write_release_file("dl/setup-exit0.exe", fixture("setup-exit0.exe"));
    for (const BeforeHold change :
         {BeforeHold{}, replace_by_a_copy, append_a_byte, set_an_earlier_time}) {
        ::DeleteFileW(marker_path().c_str());
        const auto messages = run("9.3", url_of("dl/setup-exit0.exe"), change);
        EXPECT_EQ(failure_of(messages),
                  change ? "Downloaded setup changed before it could be run." : "(not Failed)");
        EXPECT_EQ(file_exists(marker_path()), change == nullptr);
    }
}

// The digest is the hash kept as the reads arrive (at most 64 KiB each, over
// TLS at most a record of 16 KiB): whole for an empty body, one of one read,
// one of exactly a read's most, and one whose last read is a single byte.
TEST_F(Download, TheDigestIsTheServedFilesWhateverItsReads) {
    for (const std::size_t size : {0, 1000, 65536, 3 * 65536 + 1}) {
        std::string body(size, '\0');
        for (std::size_t i = 0; i < size; ++i) body[i] = static_cast<char>(i * 31 % 253);
        const std::string name = "dl/digest-" + std::to_string(size) + ".bin";
        write_release_file(name, body);
        const auto served = fetch_to_memory(url_of("sha256/" + name), {64, "too large"});
        const auto stored = download_to_file(collector.channel(), temp_ + L"digest.bin",
                                             url_of(name), std::nullopt);
        ASSERT_TRUE(served.ok() && stored.ok()) << size;
        ASSERT_TRUE(store_partial(temp_ + L"digest.bin").ok()) << size;
        const auto expected = parse_sha256({served.value().data(), served.value().size()});
        EXPECT_EQ(sha256_text(expected.value_or(Sha256{})), sha256_text(stored.value().digest))
            << size;
        EXPECT_EQ(read_file(temp_ + L"digest.bin"), body) << size;
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

// The resume record's life, step by step: what a download leaves beside its
// partial file, where the next attempt starts, and what the server's log says
// was asked for and sent.
class Resume : public Download {
protected:
    struct Sent {
        std::string range, if_range;  // "" when not sent
        int status;
        std::uint64_t bytes;  // only compared for 200 and 206
        bool operator==(const Sent& o) const {
            return range == o.range && if_range == o.if_range && status == o.status &&
                   (status == 416 || status == 404 || bytes == o.bytes);
        }
    };

    void SetUp() override {
        Download::SetUp();
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        path_ = std::string("dl/resume-") + info->name() + ".exe";
        setup_ = fixture("setup-exit0.exe");
        ASSERT_FALSE(setup_.empty());
        write_release_file(path_, setup_);
        ::DeleteFileW(release_path(path_ + ".once").c_str());
        logged_before_ = ranges_log().size();
    }

    static std::wstring release_path(const std::string& relative) {
        return wine_path(environment("VANTREL_RELEASE_DIR") + "/" + relative);
    }

    static std::vector<std::string> ranges_log() {
        const std::string text =
            read_file(wine_path(environment("VANTREL_SERVER_LOG") + ".ranges"));
        std::vector<std::string> lines;
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t end = std::min(text.find('\n', at), text.size());
            lines.push_back(text.substr(at, end - at));
            at = end + 1;
        }
        return lines;
    }

    // The responses to `path_` since the test began, once `count` are logged
    // (the server logs each when it has been sent, perhaps after the client
    // has moved on).
    std::vector<Sent> sent(std::size_t count) {
        std::vector<Sent> out;
        pump_until([&] {
            out.clear();
            const auto lines = ranges_log();
            for (std::size_t i = logged_before_; i < lines.size(); ++i) {
                std::vector<std::string> f;
                for (std::size_t at = 0; at <= lines[i].size();) {
                    const std::size_t end = std::min(lines[i].find(' ', at), lines[i].size());
                    f.push_back(lines[i].substr(at, end - at));
                    at = end + 1;
                }
                if (f.size() != 5 || f[0] != "/" + path_) continue;
                const auto header = [](std::string v) {
                    if (v == "-") return std::string();
                    for (std::size_t at; (at = v.find("%20")) != std::string::npos;) {
                        v.replace(at, 3, " ");
                    }
                    return v;
                };
                out.push_back({header(f[1]), header(f[2]), std::stoi(f[3]), std::stoull(f[4])});
            }
            return out.size() >= count;
        });
        return out;
    }

    std::wstring folder() const { return temp_ + L"VantrelBootstrapper\\"; }
    std::wstring partial(const char* version) const {
        return folder() + to_wide(std::string("Vantrel-") + version + ".exe.partial");
    }
    std::wstring record(const char* version) const {
        return folder() + to_wide(std::string("Vantrel-") + version + ".exe.resume");
    }

    // What an earlier run left: a part and its record for `url`.
    void leave(const char* version, const std::string& part, const std::string& url,
               const std::string& validator, std::uint64_t total) {
        ::CreateDirectoryW(folder().c_str(), nullptr);
        write_file(partial(version), part);
        auto digest = sha256_of(url.data(), url.size());
        ASSERT_TRUE(digest.ok());
        write_file(record(version), record_text({digest.value(), validator, total}));
    }

    Sha256 digest_of(const std::string& bytes) {
        auto digest = sha256_of(bytes.data(), bytes.size());
        EXPECT_TRUE(digest.ok());
        return digest.ok() ? digest.value() : Sha256{};
    }

    std::vector<WorkerMessage> run_with(const char* version, const std::string& url,
                                        bool with_digest) {
        download_and_install(collector.channel(), version, url,
                             with_digest ? std::optional<Sha256>(digest_of(setup_)) : std::nullopt);
        return collector.drain();
    }

    bool installed(const std::vector<WorkerMessage>& messages) {
        return !messages.empty() &&
               std::holds_alternative<WorkerMessage::Installed>(messages.back().body);
    }

    std::string path_, setup_;
    std::size_t logged_before_ = 0;
};

TEST_F(Resume, AResumedDownloadThatFailsItsDigestIsFetchedOnceMoreWhole) {
    const std::string url = url_of(path_);
    struct Case {
        const char* name;
        std::string served;  // what the server has for the second, whole download
        bool installs;
    };
    const Case cases[] = {{"a splice, then the whole file", setup_, true},
                          {"another file both times", fixture("setup-exit1.exe"), false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        logged_before_ = ranges_log().size();
        write_release_file(path_, c.served);
        // No validator: the manifest's digest is what allows continuing.
        leave("6.0", std::string(40000, '\0'), url, "", c.served.size());
        download_and_install(collector.channel(), "6.0", url, digest_of(setup_));
        const auto messages = collector.drain();
        if (c.installs) {
            EXPECT_TRUE(installed(messages));
            EXPECT_FALSE(file_exists(setup_path("6.0")));  // it ran, then went
            EXPECT_FALSE(file_exists(partial("6.0")));
        } else {
            EXPECT_EQ(failure_of(messages), "Downloaded setup does not match its checksum.");
            EXPECT_EQ(read_file(partial("6.0")), "");  // nothing kept to splice again
        }
        const std::uint64_t served = c.served.size();
        EXPECT_EQ(sent(2), (std::vector<Sent>{{"bytes=40000-", "", 206, served - 40000},
                                              {"", "", 200, served}}));
        EXPECT_FALSE(file_exists(record("6.0")));
    }
}

TEST_F(Resume, A416StartsAgainFromByteZero) {
    const std::string url = url_of(path_);
    // The record promised more than the file now holds: the part is the
    // whole file, and the server has nothing after it.
    leave("6.1", setup_, url, "", setup_.size() + 1000);
    download_and_install(collector.channel(), "6.1", url, digest_of(setup_));
    EXPECT_TRUE(installed(collector.drain()));
    EXPECT_FALSE(file_exists(setup_path("6.1")));  // it ran, then went
    const std::string asked = "bytes=" + std::to_string(setup_.size()) + "-";
    EXPECT_EQ(sent(2), (std::vector<Sent>{{asked, "", 416, 0}, {"", "", 200, setup_.size()}}));
    EXPECT_FALSE(file_exists(partial("6.1")));
    EXPECT_FALSE(file_exists(record("6.1")));
}

TEST_F(Resume, ARecordIsKeptOnlyWithAValidatorOrADigest) {
    struct Case {
        const char* scenario;  // of the first answer: cut after 1,000 bytes
        bool digest;
        bool kept;
        bool validator;
    };
    const Case cases[] = {
        {"cut/1000", false, true, true},
        {"novalidator/cut/1000", true, true, false},
        {"novalidator/cut/1000", false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.scenario << (c.digest ? ", digest" : ""));
        logged_before_ = ranges_log().size();
        ::DeleteFileW(partial("6.2").c_str());
        ::DeleteFileW(record("6.2").c_str());
        // Cut, then tried again and refused for good.
        write_release_file(path_ + ".once", std::string("0 ") + c.scenario + "\n0 404\n");
        const auto messages = run_with("6.2", url_of(path_), c.digest);
        EXPECT_EQ(failure_of(messages), "Server returned HTTP status 404.");
        EXPECT_EQ(read_file(partial("6.2")), setup_.substr(0, 1000));
        const auto kept = parse_record(read_file(record("6.2")));
        ASSERT_EQ(kept.has_value(), c.kept);
        const std::string range = c.kept ? "bytes=1000-" : "";
        const auto answers = sent(2);
        ASSERT_EQ(answers.size(), 2u);
        EXPECT_EQ(answers[1].range, range);
        if (kept) {
            EXPECT_EQ(kept->total, setup_.size());
            EXPECT_EQ(kept->validator.empty(), !c.validator);
            EXPECT_EQ(answers[1].if_range, kept->validator);
        }
    }
}

TEST_F(Resume, OtherVersionsPartsGoThisVersionsStay) {
    const std::string url = url_of("dl/none.exe");
    leave("1.0", "old part", url, "\"a\"", 100);
    leave("2.0", "this part", url, "\"b\"", 100);
    write_file(folder() + L"Vantrel-1.0.exe", "an older setup");
    const std::string kept_record = read_file(record("2.0"));
    EXPECT_EQ(failure_of(run("2.0", url)), "Server returned HTTP status 404.");
    EXPECT_FALSE(file_exists(partial("1.0")));
    EXPECT_FALSE(file_exists(record("1.0")));
    EXPECT_EQ(read_file(partial("2.0")), "this part");
    EXPECT_EQ(read_file(record("2.0")), kept_record);
    EXPECT_FALSE(file_exists(folder() + L"Vantrel-1.0.exe"));
}

TEST_F(Resume, TryAgainContinuesFromThePart) {
    const std::string url = url_of(path_);
    write_release_file(path_ + ".once", "0 cut/1000\n0 404\n");
    EXPECT_EQ(failure_of(run("6.3", url)), "Server returned HTTP status 404.");
    const auto first = sent(2);
    ASSERT_EQ(first.size(), 2u);
    const std::string validator = first[1].if_range;
    EXPECT_FALSE(validator.empty());

    // "Try Again": the worker once more, for the same version and URL.
    logged_before_ = ranges_log().size();
    EXPECT_TRUE(installed(run("6.3", url)));
    EXPECT_FALSE(file_exists(setup_path("6.3")));  // it ran, then went
    EXPECT_EQ(sent(1), (std::vector<Sent>{{"bytes=1000-", validator, 206, setup_.size() - 1000}}));
    EXPECT_FALSE(file_exists(partial("6.3")));
    EXPECT_FALSE(file_exists(record("6.3")));
}

}  // namespace
