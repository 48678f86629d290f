#include "common/Log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/LogLine.h"
#include "tests/kit/TempDir.h"

using namespace Quor::Log;
using QuorTest::Exists;
using QuorTest::ReadFile;
using QuorTest::TempDir;
using QuorTest::WriteFile;

namespace {

bool IsTimeAt(const std::string& text, size_t at) {
    static const char shape[] = "[dd:dd:dd.000]";
    if (at + sizeof shape - 1 > text.size()) return false;
    for (size_t i = 0; i + 1 < sizeof shape; ++i) {
        const char c = text[at + i];
        if (shape[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(c)) : c != shape[i]) return false;
    }
    return true;
}

// Every "[hh:mm:ss.000]" time of the text replaced by that literal text.
std::string MaskTime(std::string text) {
    for (size_t at = text.find('['); at != std::string::npos; at = text.find('[', at + 1))
        if (IsTimeAt(text, at)) text.replace(at, 14, "[hh:mm:ss.000]");
    return text;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Captures both standard streams around a piece of code.
struct Captured {
    std::string out, err;
};
template <typename F>
Captured Capture(F&& body) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    body();
    std::fflush(stdout);
    Captured c;
    c.err = testing::internal::GetCapturedStderr();
    c.out = testing::internal::GetCapturedStdout();
    return c;
}

}  // namespace

TEST(LogLine, HasTheExactFormatForEveryLevel) {
    struct {
        TYPE type;
        const char* expected;
    } cases[] = {
        {USER, "(   USER)[07:05:09.000] HRESULT F(int): hello\n"},
        {ERROR, "(  ERROR)[07:05:09.000] HRESULT F(int): hello\n"},
        {WARNING, "(WARNING)[07:05:09.000] HRESULT F(int): hello\n"},
        {DEBUG, "(  DEBUG)[07:05:09.000] HRESULT F(int): hello\n"},
        {VERBOSE, "(VERBOSE)[07:05:09.000] HRESULT F(int): hello\n"},
        // A level outside the table has a text of its own instead of reading past the table.
        {static_cast<TYPE>(5), "(UNKNOWN)[07:05:09.000] HRESULT F(int): hello\n"},
        {static_cast<TYPE>(-1), "(UNKNOWN)[07:05:09.000] HRESULT F(int): hello\n"},
    };
    for (const auto& c : cases) {
        char line[_Internal::LINE_BUFFER_SIZE];
        size_t n = _Internal::FormatLineAt(line, sizeof line, c.type, "HRESULT F(int)", "hello", 7, 5, 9, 0);
        EXPECT_EQ(std::string(line, n), c.expected) << "level " << static_cast<int>(c.type);
    }
    EXPECT_STREQ(ToString(static_cast<TYPE>(1000)), "UNKNOWN");
}

TEST(LogLine, AnOverLongLineIsCutToTheBufferAndStillEndsTheLine) {
    char line[_Internal::LINE_BUFFER_SIZE + 16];
    std::memset(line, 'Z', sizeof line);
    // A tag alone longer than the buffer, and a text whose cut falls inside a 2-byte sequence.
    const std::string tag(5000, 't');
    size_t n =
        _Internal::FormatLineAt(line, _Internal::LINE_BUFFER_SIZE, ERROR, tag.c_str(), "x", 1, 2, 3, 0);
    EXPECT_EQ(n, _Internal::LINE_BUFFER_SIZE - 1);
    EXPECT_EQ(line[n - 1], '\n');
    EXPECT_EQ(line[n], '\0');
    EXPECT_EQ(line[_Internal::LINE_BUFFER_SIZE], 'Z') << "wrote past the buffer";

    const std::string prefix = "(  ERROR)[01:02:03.000] f: ";
    std::string text(_Internal::LINE_BUFFER_SIZE - 2 - prefix.size() - 1, 'a');
    text += "\xC3\xA9\xC3\xA9";  // the cut falls on the second byte of the first "é"
    n = _Internal::FormatLineAt(line, _Internal::LINE_BUFFER_SIZE, ERROR, "f", text.c_str(), 1, 2, 3, 0);
    const std::string written(line, n);
    EXPECT_EQ(written, prefix + std::string(text.size() - 4, 'a') + "\n");
}

TEST(Log, DefaultLevelIsErrorAndErrorLinesAlsoGoToStandardError) {
    const Captured c = Capture([] {
        QUOR_LOG_TAG(WARNING, "tagW", "not written");
        QUOR_LOG_TAG(DEBUG, "tagD", "not written");
        QUOR_LOG_TAG(VERBOSE, "tagV", "not written");
        QUOR_LOG_TAG(USER, "tagU", "user %d", 1);
        QUOR_LOG_TAG(ERROR, "tagE", "error %s", "two");
    });
    // No file: every written line on the standard output, ERROR also on the standard error.
    EXPECT_EQ(MaskTime(c.out),
              "(   USER)[hh:mm:ss.000] tagU: user 1\n"
              "(  ERROR)[hh:mm:ss.000] tagE: error two\n");
    EXPECT_EQ(MaskTime(c.err), "(  ERROR)[hh:mm:ss.000] tagE: error two\n");
}

TEST(Log, UserLinesAreWrittenAtEveryLevel) {
    for (TYPE level : {USER, ERROR, WARNING, DEBUG, VERBOSE}) {
        SetLogLevel(level);
        const Captured c = Capture([] { QUOR_LOG_TAG(USER, "t", "u"); });
        EXPECT_EQ(Lines(c.out).size(), 1u) << "level " << level;
    }
}

TEST(Log, WithAFileErrorLinesGoToTheFileAndStandardErrorButNotStandardOutput) {
    TempDir dir;
    ASSERT_EQ(SetLogFile((dir / "a.log").c_str(), 3), S_OK);
    const Captured quiet = Capture([] { QUOR_LOG_TAG(ERROR, "tag", "into the file"); });
    EXPECT_EQ(quiet.out, "");
    EXPECT_EQ(MaskTime(quiet.err), "(  ERROR)[hh:mm:ss.000] tag: into the file\n");
    EXPECT_EQ(MaskTime(ReadFile(dir / "a.log")), "(  ERROR)[hh:mm:ss.000] tag: into the file\n");

    SetLogToConsole(true);
    const Captured loud = Capture([] { QUOR_LOG_TAG(USER, "tag", "both"); });
    EXPECT_EQ(MaskTime(loud.out), "(   USER)[hh:mm:ss.000] tag: both\n");
    EXPECT_EQ(Lines(ReadFile(dir / "a.log")).size(), 2u);
}

namespace {
struct RecordingWriter final : IWrite {
    std::string logPath;
    std::vector<std::string> seen;
    bool fileHadLineAlready = false;
    void Write(TYPE type, const char* function, const char* text) override {
        seen.push_back(std::string(ToString(type)) + "|" + function + "|" + text);
        fileHadLineAlready = fileHadLineAlready || ReadFile(logPath).find(text) != std::string::npos;
    }
};
}  // namespace

TEST(Log, TheWriterGetsTheUnformattedTextOfPassingLinesBeforeTheFile) {
    TempDir dir;
    SetLogFile((dir / "w.log").c_str());
    SetLogLevel(WARNING);
    RecordingWriter writer;
    writer.logPath = dir / "w.log";
    SetIWrite(&writer);
    Capture([] {
        QUOR_LOG_TAG(WARNING, "tw", "warned %d", 3);
        QUOR_LOG_TAG(DEBUG, "td", "filtered");
    });
    SetIWrite(nullptr);
    Capture([] { QUOR_LOG_TAG(WARNING, "tw", "after removal"); });
    EXPECT_THAT(writer.seen, testing::ElementsAre("WARNING|tw|warned 3"));
    EXPECT_FALSE(writer.fileHadLineAlready);
    EXPECT_EQ(Lines(ReadFile(dir / "w.log")).size(), 2u);
}

TEST(Log, SetLogFileRotatesTheNumberedCopies) {
    TempDir dir;
    const std::string log = dir / "quor.log";
    WriteFile(log, "current\n");
    WriteFile(log + "1", "first\n");
    WriteFile(log + "3", "third\n");

    ASSERT_EQ(SetLogFile(log.c_str(), 9), S_OK);
    EXPECT_EQ(ReadFile(log + "1"), "current\n");
    EXPECT_EQ(ReadFile(log + "2"), "first\n");
    EXPECT_FALSE(Exists(log + "3"));
    EXPECT_EQ(ReadFile(log + "4"), "third\n");
    EXPECT_FALSE(Exists(log + "5"));
    EXPECT_EQ(ReadFile(log), "");

    Capture([] {
        QUOR_LOG_TAG(ERROR, "HRESULT Quor::Test::Rotate(const char *const)", "rotated %s", "ok");
        QUOR_LOG_TAG(USER, "void f()", "second");
    });
    EXPECT_EQ(MaskTime(ReadFile(log)),
              "(  ERROR)[hh:mm:ss.000] HRESULT Quor::Test::Rotate(const char *const): rotated ok\n"
              "(   USER)[hh:mm:ss.000] void f(): second\n");
}

TEST(Log, NineCopiesDropTheOldest) {
    TempDir dir;
    const std::string log = dir / "q.log";
    WriteFile(log, "0");
    for (int i = 1; i <= 9; ++i) WriteFile(log + std::to_string(i), std::to_string(i));
    SetLogFile(log.c_str(), 9);
    EXPECT_EQ(ReadFile(log + "1"), "0");
    EXPECT_EQ(ReadFile(log + "9"), "8");
    EXPECT_FALSE(Exists(log + "10"));
}

TEST(Log, WithoutCopiesTheFileIsEmptiedAndTheSameNameChangesNothing) {
    TempDir dir;
    const std::string log = dir / "q.log";
    WriteFile(log, "old\n");
    SetLogFile(log.c_str());
    EXPECT_EQ(ReadFile(log), "");
    EXPECT_FALSE(Exists(log + "1"));
    Capture([] { QUOR_LOG_TAG(ERROR, "t", "kept"); });

    // The same name again (even with another count) neither reopens nor rotates.
    SetLogFile(log.c_str(), 5);
    EXPECT_FALSE(Exists(log + "1"));
    EXPECT_EQ(Lines(ReadFile(log)).size(), 1u);

    // Another name: the new file takes the lines, the old one keeps its content.
    SetLogFile((dir / "other.log").c_str(), 2);
    Capture([] { QUOR_LOG_TAG(ERROR, "t", "moved"); });
    EXPECT_EQ(Lines(ReadFile(log)).size(), 1u);
    EXPECT_NE(ReadFile(dir / "other.log").find("moved"), std::string::npos);
}

// While it is written, a file that a line would take past the size limit moves into its copies
// and continues empty: no file grows past the limit, the oldest copies drop, no line is split.
TEST(Log, AFileThatReachesTheSizeLimitRotatesIntoItsCopies) {
    TempDir dir;
    const std::string log = dir / "quor.log";
    constexpr uint64_t kLimit = 1000;
    SetLogFileSizeLimit(kLimit);
    ASSERT_EQ(SetLogFile(log.c_str(), 3), S_OK);
    const std::string text(70, 'x');
    Capture([&] {
        for (int i = 0; i < 100; ++i) QUOR_LOG_TAG(ERROR, "t", "%03d %s", i, text.c_str());
    });
    const std::string line = "(  ERROR)[hh:mm:ss.000] t: 099 " + text;
    EXPECT_EQ(Lines(MaskTime(ReadFile(log))).back(), line);  // the newest line is in the file itself
    for (const char* copy : {"", "1", "2", "3"}) {
        ASSERT_TRUE(Exists(log + copy)) << log << copy;
        const std::string content = ReadFile(log + copy);
        EXPECT_LE(content.size(), kLimit) << log << copy;
        for (const std::string& each : Lines(MaskTime(content))) EXPECT_EQ(each.size(), line.size()) << log << copy;
    }
    EXPECT_FALSE(Exists(log + "4"));

    // A file set without copies keeps one when it rotates by size.
    const std::string single = dir / "single.log";
    SetLogFile(single.c_str());
    Capture([&] {
        for (int i = 0; i < 30; ++i) QUOR_LOG_TAG(ERROR, "t", "%03d %s", i, text.c_str());
    });
    EXPECT_TRUE(Exists(single + "1"));
    EXPECT_FALSE(Exists(single + "2"));
    EXPECT_LT(ReadFile(single).size(), kLimit);

    // 0 turns the rotation off.
    SetLogFileSizeLimit(0);
    const std::string unbounded = dir / "unbounded.log";
    SetLogFile(unbounded.c_str(), 3);
    Capture([&] {
        for (int i = 0; i < 30; ++i) QUOR_LOG_TAG(ERROR, "t", "%03d %s", i, text.c_str());
    });
    EXPECT_FALSE(Exists(unbounded + "1"));
    EXPECT_GT(ReadFile(unbounded).size(), kLimit);
}

TEST(Log, AnUnwritableFileFallsBackToTheSecondaryFileWhichIsHandedBackAtClose) {
    TempDir dir;
    const std::string log = dir / "quor.log";
    QuorTest::MakeDirs(log);  // exists, but cannot be opened for appending
    WriteFile(log + ".secondary", "stale\n");
    SetLogFile(log.c_str(), 2);
    Capture([] { QUOR_LOG_TAG(ERROR, "t", "to the secondary file"); });
    EXPECT_NE(ReadFile(log + ".secondary").find("to the secondary file"), std::string::npos);
    EXPECT_EQ(ReadFile(log + ".secondary").find("stale"), std::string::npos) << "secondary file not emptied";

    // Once the main name is free again, closing hands the secondary file back to it.
    QuorTest::RemoveTree(log);
    SetLogFile((dir / "next.log").c_str());
    EXPECT_FALSE(Exists(log + ".secondary"));
    EXPECT_NE(ReadFile(log).find("to the secondary file"), std::string::npos);
}

// Whatever stands at a log's names besides a regular file of its own (a link to a file elsewhere,
// a dangling link, a FIFO nobody reads) is never written through, and the open never waits: the
// lines still go to a regular file of the log's folder or, when that is planted too, to standard
// output.
TEST(Log, ALinkOrAFifoAtTheLogsNamesIsNeverWrittenThrough) {
    const struct {
        const char* what;
        bool linkToFile, danglingLink, fifo, linkAtSecondary;
    } plants[] = {
        {"a link to an existing file", true, false, false, false},
        {"a dangling link", false, true, false, false},
        {"a FIFO", false, false, true, false},
        {"a dangling link, and one at the .secondary", false, true, false, true},
    };
    for (const auto& plant : plants) {
        TempDir dir;
        const std::string log = dir / "quor.log";
        const std::string target = dir / "elsewhere";
        if (plant.linkToFile) WriteFile(target, "kept\n");
        bool planted = true;
        if (plant.linkToFile || plant.danglingLink) planted = planted && ::symlink(target.c_str(), log.c_str()) == 0;
        if (plant.fifo) planted = planted && ::mkfifo(log.c_str(), 0600) == 0;
        if (plant.linkAtSecondary)
            planted = planted && ::symlink((dir / "second").c_str(), (log + ".secondary").c_str()) == 0;
        ASSERT_TRUE(planted) << plant.what;
        SetLogFile(log.c_str(), 2);
        const Captured c = Capture([] { QUOR_LOG_TAG(USER, "t", "a planted line"); });
        SetLogFile((dir / "next.log").c_str());
        EXPECT_EQ(plant.linkToFile ? "kept\n" : "", Exists(target) ? ReadFile(target) : "") << plant.what;
        EXPECT_FALSE(Exists(dir / "second")) << plant.what;
        std::string written = c.out;
        for (const std::string& file : {log, log + ".secondary"})
            if (std::filesystem::is_regular_file(std::filesystem::symlink_status(file))) written += ReadFile(file);
        EXPECT_NE(written.find("a planted line"), std::string::npos) << plant.what;
    }
}

TEST(Log, NoFileAtAllStillLogsToStandardOutput) {
    TempDir dir;
    SetLogFile((dir / "missing/folder/x.log").c_str(), 1);
    const Captured c = Capture([] { QUOR_LOG_TAG(USER, "t", "still here"); });
    EXPECT_EQ(Lines(c.out).size(), 1u);
}

TEST(Log, PrintFCutsTheTextAt4095Characters) {
    TempDir dir;
    SetLogFile((dir / "long.log").c_str());
    const std::string text(5000, 'x');
    Capture([&] {
        Internal::SetupPrintF(ERROR, "t");
        Internal::PrintF("%s", text.c_str());
    });
    const std::string line = ReadFile(dir / "long.log");
    ASSERT_FALSE(line.empty());
    EXPECT_EQ(line.back(), '\n');
    EXPECT_EQ(Lines(line).size(), 1u);
    EXPECT_LE(line.size(), _Internal::LINE_BUFFER_SIZE - 1);
    EXPECT_EQ(line.find(std::string(4096 - 200, 'x')) != std::string::npos, true);
}

TEST(Log, AStatementKeepsItsLevelAndTagWhenItsArgumentsLog) {
    TempDir dir;
    SetLogFile((dir / "nested.log").c_str());
    SetLogLevel(VERBOSE);
    auto describe = [] {
        QUOR_LOG_TAG(DEBUG, "inner", "describing");
        return "described";
    };
    Capture([&] { QUOR_LOG_TAG(USER, "outer", "%s", describe()); });
    EXPECT_EQ(MaskTime(ReadFile(dir / "nested.log")),
              "(  DEBUG)[hh:mm:ss.000] inner: describing\n"
              "(   USER)[hh:mm:ss.000] outer: described\n");
}

TEST(Log, LoggingKeepsTheCallersErrno) {
    errno = 0;
    Capture([] {
        errno = ENOENT;
        QUOR_LOG_TAG(ERROR, "t", "x");
        EXPECT_EQ(errno, ENOENT);
        SetLogFile("/nonexistent-folder/for/sure.log");
        EXPECT_EQ(errno, ENOENT);
    });
}

// Ten threads log at once (some through the two-call form, each with its own level and tag) while
// the main thread keeps replacing the log file; every line must be whole and carry the level and
// tag of its own thread.
TEST(Log, ConcurrentStatementsKeepTheirOwnLevelAndTagAndLinesStayWhole) {
    TempDir dir;
    SetLogLevel(VERBOSE);
    SetLogFile((dir / "t0.log").c_str());
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    std::vector<std::string> tags;
    for (int t = 0; t < 10; ++t) tags.push_back("void Worker" + std::to_string(t) + "(int)");
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    for (int t = 0; t < 10; ++t) {
        threads.emplace_back([&, t] {
            const TYPE level = static_cast<TYPE>(t % 5);
            for (long i = 0; !stop.load(); ++i) {
                if (t % 2 == 0) {
                    QUOR_LOG_TAG(level, tags[t].c_str(), "thread %d line %ld %s", t, i,
                                 "payload-payload-payload");
                } else {
                    Internal::SetupPrintF(level, tags[t].c_str());
                    Internal::PrintF("thread %d line %ld %s", t, i, "payload-payload-payload");
                }
            }
        });
    }
    const auto start = std::chrono::steady_clock::now();
    int files = 1;
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(1)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        SetLogFile((dir / ("t" + std::to_string(files++ % 3) + ".log")).c_str(), 2);
    }
    stop = true;
    for (auto& thread : threads) thread.join();
    SetLogFile((dir / "final.log").c_str());
    testing::internal::GetCapturedStderr();
    testing::internal::GetCapturedStdout();

    // "(<level>)[hh:mm:ss.000] void Worker<t>(int): thread <t> line <n> payload-payload-payload"
    size_t checked = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        const std::string name = entry.path().filename().string();
        for (const std::string& line : Lines(ReadFile(dir / name))) {
            const std::string masked = MaskTime(line);
            ASSERT_GT(masked.size(), 60u) << name << ": broken line: " << line;
            const std::string level = masked.substr(1, 7);
            const std::string prefix = "(" + level + ")[hh:mm:ss.000] void Worker";
            ASSERT_EQ(masked.compare(0, prefix.size(), prefix), 0) << name << ": broken line: " << line;
            const int worker = masked[prefix.size()] - '0';
            const std::string rest = masked.substr(prefix.size() + 1);
            const std::string middle = "(int): thread " + std::to_string(worker) + " line ";
            ASSERT_EQ(rest.compare(0, middle.size(), middle), 0) << name << ": broken line: " << line;
            const std::string tail = " payload-payload-payload";
            ASSERT_GT(rest.size(), middle.size() + tail.size()) << line;
            ASSERT_EQ(rest.compare(rest.size() - tail.size(), tail.size(), tail), 0)
                << name << ": broken line: " << line;
            const std::string number = rest.substr(middle.size(), rest.size() - tail.size() - middle.size());
            ASSERT_TRUE(!number.empty() && number.find_first_not_of("0123456789") == std::string::npos)
                << line;
            EXPECT_EQ(level, ToString(static_cast<TYPE>(worker % 5))) << line;
            ++checked;
        }
    }
    EXPECT_GT(checked, 100u);
}

TEST(Log, ErrorFunctionsLogTheErrorStateAndReturnItsResult) {
    QuorTest::QuorTree tree;
    SetLogLevel(DEBUG);
    std::string out, err;
    {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        errno = ENOENT;
        EXPECT_EQ(Internal::LogERRNO("t1"), E_FAIL);
        EXPECT_EQ(Internal::LogDOSERRNO("t2"), E_FAIL);
        errno = 0;
        EXPECT_EQ(Internal::LogERRNO("t3"), S_OK);
        EXPECT_EQ(Internal::WSAGetLastError("t4"), S_OK);
        errno = ECONNREFUSED;
        EXPECT_EQ(Internal::WSAGetLastError("t5"), E_FAIL);

        QuorTest::WriteFile(tree.root() + "f", "x");
        FILE* reading = std::fopen((tree.root() + "f").c_str(), "r");
        ASSERT_NE(reading, nullptr);
        EXPECT_EQ(Internal::LogFError("t6", reading), S_OK);
        std::fputc('x', reading);  // writing a stream opened for reading sets its error flag
        EXPECT_EQ(Internal::LogFError("t7", reading), E_FAIL);
        std::fclose(reading);
        EXPECT_EQ(Internal::LogFError("t8", nullptr), E_FAIL);
        std::fflush(stdout);
        err = testing::internal::GetCapturedStderr();
        out = testing::internal::GetCapturedStdout();
    }
    EXPECT_NE(err.find("] t1: No such file or directory\n"), std::string::npos) << err;
    EXPECT_NE(err.find("] t2: No such file or directory\n"), std::string::npos) << err;
    EXPECT_NE(MaskTime(out).find("(  DEBUG)[hh:mm:ss.000] t3: Success\n"), std::string::npos) << out;
    EXPECT_EQ(MaskTime(out).find("t4"), std::string::npos) << "no socket error, nothing logged";
    EXPECT_NE(err.find("] t5: Unspecified error occurred. Please check the logs for more information.\n"),
              std::string::npos)
        << err;
    EXPECT_NE(MaskTime(out).find("(  DEBUG)[hh:mm:ss.000] t6: "), std::string::npos) << out;
    EXPECT_NE(err.find("] t7: Stream error"), std::string::npos) << err;
    EXPECT_NE(err.find("] t8: "), std::string::npos) << err;
}
