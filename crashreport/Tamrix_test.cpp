#include "crashreport/Tamrix.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "tests/kit/AppBundle.h"
#include "tests/kit/RecordingCollector.h"
#include "tests/kit/RunCommand.h"
#include "tests/kit/TempDir.h"

namespace {

using QuorTest::Exists;
using QuorTest::ReadFile;
using QuorTest::ShellQuote;
using QuorTest::TempDir;
using QuorTest::WriteFile;

class ScopedHome {
public:
    explicit ScopedHome(const std::string& home) : m_previous(getenv("HOME") ? getenv("HOME") : "") {
        setenv("HOME", home.c_str(), 1);
    }
    ~ScopedHome() { setenv("HOME", m_previous.c_str(), 1); }

private:
    std::string m_previous;
};

TEST(Tamrix, SenderArgumentsFollowTheSettingsInOrder) {
    Tamrix::Tamrix reporter("db", "app", "ver");
    EXPECT_TRUE(reporter.additionalFiles().empty());
    EXPECT_TRUE(reporter.terminateApplication());
    EXPECT_EQ(reporter.senderArguments("/r"),
              (std::vector<std::string>{"--c", "db", "--a", "app", "--v", "ver", "--f", "/r"}));
    reporter.setQuietMode(true);
    reporter.setSuppressReply(true);
    reporter.addAdditionalFile("a");
    reporter.addAdditionalFile("b");
    reporter.setDescription("");
    EXPECT_EQ(reporter.senderArguments("/r"),
              (std::vector<std::string>{"--c", "db", "--a", "app", "--v", "ver", "--f", "/r", "--x", "a", "--x",
                                        "b", "--q", "--r"}));
    reporter.setDescription("it broke");
    EXPECT_EQ(reporter.senderArguments("/r")[8], "--d");
    EXPECT_EQ(reporter.senderArguments("/r")[9], "it broke");
    EXPECT_EQ(reporter.additionalFiles(), (std::vector<std::string>{"a", "b"}));
}

TEST(Tamrix, ReportAndSenderPathsFollowHomeAndBundle) {
    TempDir home("tamrixhome");
    ScopedHome scope(home.path());
    std::unique_ptr<Tamrix::Tamrix> sample(Tamrix::CreateSampleTamrix());
    EXPECT_EQ(sample->version(), "1.0");
    std::string exe = std::filesystem::read_symlink("/proc/self/exe").string();
    std::string name = exe.substr(exe.rfind('/') + 1);
    EXPECT_EQ(sample->getCrashReport(), home / ("Library/Logs/CrashReporter/" + name + ".crash.log"));
    EXPECT_TRUE(std::filesystem::is_directory(home / "Library/Logs/CrashReporter"));
    EXPECT_EQ(sample->senderPath(),
              exe.substr(0, exe.rfind('/')) +
                  "/Contents/Frameworks/Tamrix.framework/Versions/A/TamrixReporter.app/Contents/MacOS/TamrixReporter");
    EXPECT_FALSE(sample->shouldHandleException(1));
    EXPECT_TRUE(sample->shouldLogException(1));
}

TEST(Tamrix, DialogTypeIsKeptInTheKeyFile) {
    TempDir home("tamrixhome");
    ScopedHome scope(home.path());
    EXPECT_EQ(Tamrix::Tamrix::crashReporterDialogType(), "");
    WriteFile(home / "Library/Preferences/com.apple.CrashReporter", "Other=1\nDialogType=basic\n");
    EXPECT_EQ(Tamrix::Tamrix::crashReporterDialogType(), "basic");
    ASSERT_TRUE(Tamrix::Tamrix::setCrashReporterDialogType("none"));
    EXPECT_EQ(Tamrix::Tamrix::crashReporterDialogType(), "none");
    EXPECT_EQ(ReadFile(home / "Library/Preferences/com.apple.CrashReporter"), "Other=1\nDialogType=none\n");
}

// A bundle Host.app holding the crash host and the framework, in a folder that is also HOME.
class CrashHostBundle {
public:
    CrashHostBundle() : m_dir("tamrixcrash") {
        QuorTest::InstallInBundle(m_dir / "Host.app", QUOR_CRASH_HOST, "CrashHost", QUOR_TAMRIX_LIBRARY);
        m_sender = m_dir / "Host.app/Contents/Frameworks/Tamrix.framework/Versions/A/TamrixReporter.app/Contents/MacOS/"
                           "TamrixReporter";
    }

    // A sender that writes its arguments, one a line, to {dir}/record.
    void InstallRecordingSender() const {
        QuorTest::WriteScript(m_sender, "printf '%s\\n' \"$@\" > \"$HOME/record.tmp\" && mv \"$HOME/record.tmp\" \"$HOME/record\"");
    }

    // The real sender, with its settings naming the collector at address (host:port).
    void InstallRealSender(const std::string& address) const {
        std::filesystem::create_directories(std::filesystem::path(m_sender).parent_path());
        std::filesystem::copy_file(QUOR_TAMRIX_REPORTER, m_sender);
        WriteFile(std::filesystem::path(m_sender).parent_path() / "TamrixReporter.cfg", "Collector=" + address + "\n");
    }

    // Runs the host in the bundle's folder (ended after a minute if it hangs); its exit status.
    int Run(const std::string& mode) const {
        std::string asan = "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:handle_abort=0:detect_leaks=0";
        return QuorTest::RunCommand("cd " + ShellQuote(m_dir.path()) + " && HOME=" + ShellQuote(m_dir.path()) + " ASAN_OPTIONS=" + asan +
                                    " timeout -s KILL 60 " + ShellQuote(m_dir / "Host.app/Contents/MacOS/CrashHost") +
                                    " " + mode + " 2>" + ShellQuote(m_dir / "stderr"));
    }

    // Waits for the sender's record (the sender is not waited for by the host).
    std::string WaitForRecord() const {
        return QuorTest::WaitForFile(m_dir / "record") ? ReadFile(m_dir / "record") : "";
    }

    std::string reportPath() const { return m_dir / "Library/Logs/CrashReporter/CrashHost.crash.log"; }
    std::string path(const std::string& relative) const { return m_dir / relative; }

private:
    TempDir m_dir;
    std::string m_sender;
};

TEST(TamrixCrash, NullWriteReportsAndStartsTheSenderWithTheSettings) {
    CrashHostBundle bundle;
    bundle.InstallRecordingSender();
    EXPECT_EQ(bundle.Run("null"), 255);
    EXPECT_EQ(bundle.WaitForRecord(), "--c\nCrashDatabase\n--a\nCrashHost\n--v\n2.5\n--f\n" + bundle.reportPath() +
                                          "\n--x\na\n--x\nb\n--q\n--r\n");
    std::string report = ReadFile(bundle.reportPath());
    EXPECT_NE(report.find("Signal:     11 (SIGSEGV)"), std::string::npos) << report;
    EXPECT_NE(report.find("CrashHost ["), std::string::npos) << report;
    EXPECT_NE(report.find("CrashThroughNullPointer"), std::string::npos) << report;
    std::string log = ReadFile(bundle.path("stderr"));
    EXPECT_NE(log.find("TamrixFramework: sendCrashReport: TamrixReporter is running"), std::string::npos) << log;
    EXPECT_NE(log.find("TamrixFramework: signal: 11"), std::string::npos) << log;
}

TEST(TamrixCrash, RealSenderPostsTheReportAndTheFilesToTheCollector) {
    QuorTest::RecordingCollector collector;
    ASSERT_TRUE(collector.started());
    CrashHostBundle bundle;
    bundle.InstallRealSender(collector.baseUrl());
    WriteFile(bundle.path("a"), "first \"file\"\n");
    WriteFile(bundle.path("b"), "second file");
    EXPECT_EQ(bundle.Run("null"), 255);
    ASSERT_TRUE(collector.WaitForMessages(1));
    std::vector<QuorTest::RecordedRequest> messages = collector.messages();
    ASSERT_EQ(messages.size(), 1u);
    const std::string& body = messages[0].body;
    EXPECT_NE(body.find("(SIGSEGV)"), std::string::npos) << body;
    EXPECT_NE(body.find("CrashThroughNullPointer"), std::string::npos) << body;
    EXPECT_NE(body.find("first \\\"file\\\"\\u000a"), std::string::npos) << body;
    EXPECT_NE(body.find("second file"), std::string::npos) << body;
    EXPECT_NE(body.find("\"database\":\"CrashDatabase\""), std::string::npos) << body;
}

TEST(TamrixCrash, MissingSenderIsLoggedAndTheProcessStillEnds) {
    CrashHostBundle bundle;
    EXPECT_EQ(bundle.Run("null"), 255);
    std::string log = ReadFile(bundle.path("stderr"));
    EXPECT_NE(log.find("TamrixFramework: sendCrashReport: TamrixReporter not found: "), std::string::npos) << log;
    EXPECT_NE(log.find("TamrixFramework: sendCrashReport: TamrixReporter failed to launch"), std::string::npos) << log;
    EXPECT_TRUE(Exists(bundle.reportPath()));
}

TEST(TamrixCrash, AbortAndBrokenPipeAreIgnored) {
    for (const char* mode : {"abort", "pipe"}) {
        CrashHostBundle bundle;
        bundle.InstallRecordingSender();
        EXPECT_EQ(bundle.Run(mode), 0) << mode;
        EXPECT_FALSE(Exists(bundle.reportPath())) << mode;
        EXPECT_FALSE(Exists(bundle.path("record"))) << mode;
    }
}

// Every crash ends with status 255 and a report, also while another thread is inside the
// allocator and when the stack itself is exhausted; none hangs.
TEST(TamrixCrash, ReportsEveryCrashUnderAllocationAndStackOverflow) {
    CrashHostBundle bundle;
    for (int run = 0; run < 200; ++run) {
        ASSERT_EQ(bundle.Run("stress"), 255) << "run " << run;
        ASSERT_NE(ReadFile(bundle.reportPath()).find("(SIGSEGV)"), std::string::npos) << "run " << run;
        std::filesystem::remove(bundle.reportPath());
    }
    EXPECT_EQ(bundle.Run("recursion"), 255);
    std::string report = ReadFile(bundle.reportPath());
    EXPECT_NE(report.find("(SIGSEGV)"), std::string::npos) << report;
    EXPECT_NE(report.find("RecurseWithoutEnd"), std::string::npos) << report.substr(0, 2000);
}

}  // namespace
