// jdiff and jpatch end to end, called in-process through RunJDiff/RunJPatch (the programs' mains
// only forward to them); ProgramsExitWithTheirCodes runs the built programs themselves.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/kit/TempDir.h"
#include "tools/jojodiff/ExitCodes.h"
#include "tools/jojodiff/FaultGuard.h"
#include "tools/jojodiff/MappedInput.h"
#include "tools/jojodiff/PatchHeader.h"
#include "tools/jojodiff/ReplacementFile.h"
#include "tools/jojodiff/Tools.h"

extern char** environ;

namespace JojoDiff {
namespace {

using QuorTest::Exists;
using QuorTest::ReadFile;
using QuorTest::TempDir;
using QuorTest::WriteFile;

// Deterministic bytes that compress somewhat, like program data.
std::string Content(size_t size, uint64_t seed) {
    std::string s(size, '\0');
    uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
    for (size_t i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        s[i] = static_cast<char>((x % 5 == 0) ? (x >> 8) : (i / 16) & 0x3F);
    }
    return s;
}

// A new version: scattered byte edits, one inserted block and one removed block.
std::string Edited(const std::string& original, uint64_t seed) {
    std::string s = original;
    uint64_t x = seed + 77;
    for (size_t i = 0; i < s.size() / 500; ++i) {
        x = x * 6364136223846793005ull + 1442695040888963407ull;
        s[(x >> 16) % s.size()] ^= static_cast<char>(x >> 40 | 1);
    }
    if (s.size() > 4096) {
        s.insert(s.size() / 3, Content(1000, seed + 1));
        s.erase(2 * s.size() / 3, 700);
    }
    return s;
}

int Diff(const std::string& a, const std::string& b, const std::string& p) {
    const char* argv[] = {"jdiff", a.c_str(), b.c_str(), p.c_str()};
    return RunJDiff(4, argv);
}
int Patch(const std::string& a, const std::string& p, const std::string& out) {
    const char* argv[] = {"jpatch", a.c_str(), p.c_str(), out.c_str()};
    return RunJPatch(4, argv);
}

std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

pid_t StartProgram(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid;
    return posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

int RunProgram(const std::vector<std::string>& args) {
    const pid_t pid = StartProgram(args);
    if (pid < 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(JojoDiffTools, RoundTripsRebuildTheNewFileByteForByte) {
    const std::string medium = Content(1 << 20, 1);
    const struct {
        const char* name;
        std::string original, updated;
        int diffExit;
    } cases[] = {
        {"both empty", "", "", kJDiffIdentical},
        {"from empty", "", "fresh content", kJDiffDifferent},
        {"to empty", "old content", "", kJDiffDifferent},
        {"tiny", "a", "b", kJDiffDifferent},
        {"identical", medium, medium, kJDiffIdentical},
        {"same size, one byte", medium, std::string(medium).replace(500000, 1, "#"), kJDiffDifferent},
        {"edited", medium, Edited(medium, 2), kJDiffDifferent},
        {"unrelated", Content(70000, 3), Content(90000, 4), kJDiffDifferent},
    };
    for (const auto& c : cases) {
        TempDir dir;
        WriteFile(dir / "old", c.original);
        WriteFile(dir / "new", c.updated);
        EXPECT_EQ(Diff(dir / "old", dir / "new", dir / "patch"), c.diffExit) << c.name;
        EXPECT_EQ(Patch(dir / "old", dir / "patch", dir / "out"), kJPatchApplied) << c.name;
        EXPECT_TRUE(ReadFile(dir / "out") == c.updated) << c.name;
        EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"new", "old", "out", "patch"})) << c.name;
    }
}

TEST(JojoDiffTools, EditedFileGivesASmallPatch) {
    TempDir dir;
    const std::string original = Content(4 << 20, 5);
    WriteFile(dir / "old", original);
    WriteFile(dir / "new", Edited(original, 6));
    ASSERT_EQ(Diff(dir / "old", dir / "new", dir / "patch"), kJDiffDifferent);
    // About 8400 edited bytes in 4 MiB: the patch holds them, not the file.
    EXPECT_LT(ReadFile(dir / "patch").size(), 64u * 1024);
}

TEST(JojoDiffTools, PatchesInPlaceAndReplacesAnExistingDestination) {
    TempDir dir;
    const std::string original = Content(200000, 7), updated = Edited(original, 8);
    WriteFile(dir / "old", original);
    WriteFile(dir / "new", updated);
    WriteFile(dir / "out", "previous");
    ASSERT_EQ(Diff(dir / "old", dir / "new", dir / "patch"), kJDiffDifferent);
    ASSERT_EQ(Patch(dir / "old", dir / "patch", dir / "out"), kJPatchApplied);
    EXPECT_TRUE(ReadFile(dir / "out") == updated);
    ASSERT_EQ(Patch(dir / "old", dir / "patch", dir / "old"), kJPatchApplied);
    EXPECT_TRUE(ReadFile(dir / "old") == updated);
}

class JPatchRefusal : public ::testing::Test {
protected:
    void SetUp() override {
        original = Content(300000, 9);
        updated = Edited(original, 10);
        WriteFile(dir / "old", original);
        WriteFile(dir / "new", updated);
        ASSERT_EQ(Diff(dir / "old", dir / "new", dir / "patch"), kJDiffDifferent);
        patch = ReadFile(dir / "patch");
        WriteFile(dir / "out", "keep me");
    }
    // Applies bytes as a patch; the destination must keep its old content and no temporary file
    // may remain.
    int ApplyExpectingNoOutput(const std::string& patchBytes, const std::string& originalPath) {
        WriteFile(dir / "bad", patchBytes);
        const int code = Patch(originalPath, dir / "bad", dir / "out");
        EXPECT_EQ(ReadFile(dir / "out"), "keep me");
        EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"bad", "new", "old", "other", "out", "patch"}));
        return code;
    }
    TempDir dir;
    std::string original, updated, patch;
};

TEST_F(JPatchRefusal, AnotherOriginal) {
    std::string other = original;
    other[123456] ^= 1;  // same size, one bit different
    WriteFile(dir / "other", other);
    EXPECT_EQ(ApplyExpectingNoOutput(patch, dir / "other"), kJPatchReadFailed);
    WriteFile(dir / "other", original + "x");
    EXPECT_EQ(ApplyExpectingNoOutput(patch, dir / "other"), kJPatchReadFailed);
    WriteFile(dir / "other", updated);  // the new file is not the original either
    EXPECT_EQ(ApplyExpectingNoOutput(patch, dir / "other"), kJPatchReadFailed);
}

TEST_F(JPatchRefusal, TruncatedPatch) {
    WriteFile(dir / "other", "");
    for (size_t size : {size_t{0}, size_t{3}, size_t{47}, kPatchHeaderSize, kPatchHeaderSize + 4,
                        patch.size() / 2, patch.size() - 1})
        EXPECT_EQ(ApplyExpectingNoOutput(patch.substr(0, size), dir / "old"), kJPatchReadFailed) << size;
    EXPECT_EQ(ApplyExpectingNoOutput(patch + '\0', dir / "old"), kJPatchReadFailed) << "trailing byte";
}

TEST_F(JPatchRefusal, FlippedBitAnywhere) {
    WriteFile(dir / "other", "");
    const size_t step = patch.size() / 97 + 1;
    for (size_t at = 0; at < patch.size(); at += step) {
        std::string damaged = patch;
        damaged[at] ^= static_cast<char>(1 << (at % 8));
        EXPECT_NE(ApplyExpectingNoOutput(damaged, dir / "old"), kJPatchApplied) << "byte " << at;
    }
}

TEST(JojoDiffTools, ReportsEachFailureWithItsExitCode) {
    TempDir dir;
    WriteFile(dir / "old", "old");
    WriteFile(dir / "new", "new");
    QuorTest::MakeDirs(dir / "folder");
    ASSERT_EQ(Diff(dir / "old", dir / "new", dir / "patch"), kJDiffDifferent);

    const char* three[] = {"jdiff", "a", "b"};
    EXPECT_EQ(RunJDiff(3, three), kJDiffBadArguments);
    const char* emptyName[] = {"jdiff", "a", "", "c"};
    EXPECT_EQ(RunJDiff(4, emptyName), kJDiffBadArguments);
    EXPECT_EQ(Diff(dir / "missing", dir / "new", dir / "p"), kJDiffOriginalUnreadable);
    EXPECT_EQ(Diff(dir / "folder", dir / "new", dir / "p"), kJDiffOriginalUnreadable);
    EXPECT_EQ(Diff(dir / "old", dir / "missing", dir / "p"), kJDiffNewUnreadable);
    EXPECT_EQ(Diff(dir / "old", dir / "new", dir / "nofolder/p"), kJDiffOutputFailed);
    EXPECT_EQ(Diff(dir / "old", dir / "new", dir / "folder"), kJDiffOutputFailed);

    const char* two[] = {"jpatch", "a"};
    EXPECT_EQ(RunJPatch(2, two), kJPatchBadArguments);
    EXPECT_EQ(Patch(dir / "missing", dir / "patch", dir / "out"), kJPatchOriginalUnopenable);
    EXPECT_EQ(Patch(dir / "old", dir / "missing", dir / "out"), kJPatchPatchUnopenable);
    EXPECT_EQ(Patch(dir / "old", dir / "patch", dir / "nofolder/out"), kJPatchOutputUnopenable);
    EXPECT_EQ(Patch(dir / "old", dir / "patch", dir / "folder"), kJPatchOutputUnopenable);
    EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"folder", "new", "old", "patch"}));
    EXPECT_TRUE(Entries(dir / "folder").empty());
}

// A patch whose header claims a size its frame cannot give is refused before the output is even
// created (so nothing is reserved): with an uncreatable destination the answer is still "damaged".
TEST_F(JPatchRefusal, SizeClaimsAreCheckedBeforeAnySpaceIsReserved) {
    PatchHeader header;
    ASSERT_EQ(DecodePatchHeader(reinterpret_cast<const uint8_t*>(patch.data()), patch.size(), header), HeaderStatus::Ok);
    const auto withHeader = [](PatchHeader h, const std::string& frame) {
        const auto bytes = EncodePatchHeader(h);
        return std::string(bytes.begin(), bytes.end()) + frame;
    };
    header.resultSize = 4ull << 30;
    // A frame of one RLE block of 1000 bytes, stating a content size of 4 GiB.
    std::string forgedFrame = {'\x28', '\xb5', '\x2f', '\xfd', '\xc0', 0, 0, 0, 0, 1, 0, 0, 0};
    const uint32_t rleBlock = 1u | (1u << 1) | (1000u << 3);
    forgedFrame += {static_cast<char>(rleBlock), static_cast<char>(rleBlock >> 8), static_cast<char>(rleBlock >> 16), 'A'};
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"header claims 4 GiB, frame states the true size", withHeader(header, patch.substr(kPatchHeaderSize))},
        {"header and frame claim 4 GiB, blocks give 1000 bytes", withHeader(header, forgedFrame)},
    };
    WriteFile(dir / "other", "");
    for (const auto& c : cases) {
        EXPECT_EQ(ApplyExpectingNoOutput(c.bytes, dir / "old"), kJPatchReadFailed) << c.name;
        EXPECT_EQ(Patch(dir / "old", dir / "bad", dir / "nofolder/out"), kJPatchReadFailed) << c.name;
    }
}

// The optional fourth argument bounds the result: a patch whose result is larger fails as damaged
// before anything is written; a bound that is no plain decimal number is a wrong command line.
TEST_F(JPatchRefusal, TheOptionalBoundRefusesALargerResult) {
    WriteFile(dir / "other", "");
    const std::string exact = std::to_string(updated.size());
    const std::string below = std::to_string(updated.size() - 1);
    const struct {
        std::string bound;
        int code;
    } cases[] = {
        {exact, kJPatchApplied}, {exact + "0", kJPatchApplied}, {below, kJPatchReadFailed}, {"0", kJPatchReadFailed},
        {"", kJPatchBadArguments}, {"12a", kJPatchBadArguments}, {"-1", kJPatchBadArguments},
        {"99999999999999999999", kJPatchBadArguments},
    };
    for (const auto& c : cases) {
        WriteFile(dir / "out", "keep me");
        const std::string oldPath = dir / "old", patchPath = dir / "patch", outPath = dir / "out";
        const char* argv[] = {"jpatch", oldPath.c_str(), patchPath.c_str(), outPath.c_str(), c.bound.c_str()};
        EXPECT_EQ(RunJPatch(5, argv), c.code) << "bound \"" << c.bound << "\"";
        EXPECT_EQ(ReadFile(dir / "out"), c.code == kJPatchApplied ? updated : "keep me") << "bound \"" << c.bound << "\"";
        EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"new", "old", "other", "out", "patch"}));
    }
}

TEST(JojoDiffTools, ReservingMoreThanTheDiskHoldsFailsWithoutReserving) {
    TempDir dir;
    ReplacementFile file;
    ASSERT_TRUE(file.Create(dir / "out"));
    uint8_t* mapping = nullptr;
    errno = 0;
    EXPECT_FALSE(file.MapForWriting(1ull << 60, mapping));
    EXPECT_EQ(errno, ENOSPC);
    struct stat st;
    ASSERT_EQ(stat(file.temporaryPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 0);
    EXPECT_EQ(st.st_blocks, 0);
}

// FIFOs and devices are refused at once, with a message: nothing waits for a writer.
TEST(JojoDiffTools, SpecialFilesAreRefusedWithAMessage) {
    TempDir dir;
    WriteFile(dir / "old", "old");
    WriteFile(dir / "new", "new");
    ASSERT_EQ(Diff(dir / "old", dir / "new", dir / "patch"), kJDiffDifferent);
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    const struct {
        const char* name;
        std::vector<std::string> args;
        int code;
    } cases[] = {
        {"FIFO patch", {"jpatch", dir / "old", dir / "fifo", dir / "out"}, kJPatchPatchUnopenable},
        {"/dev/zero patch", {"jpatch", dir / "old", "/dev/zero", dir / "out"}, kJPatchPatchUnopenable},
        {"FIFO original", {"jpatch", dir / "fifo", dir / "patch", dir / "out"}, kJPatchOriginalUnopenable},
        {"FIFO original", {"jdiff", dir / "fifo", dir / "new", dir / "p"}, kJDiffOriginalUnreadable},
        {"FIFO new file", {"jdiff", dir / "old", dir / "fifo", dir / "p"}, kJDiffNewUnreadable},
        {"/dev/zero new file", {"jdiff", dir / "old", "/dev/zero", dir / "p"}, kJDiffNewUnreadable},
    };
    for (const auto& c : cases) {
        const char* argv[] = {c.args[0].c_str(), c.args[1].c_str(), c.args[2].c_str(), c.args[3].c_str()};
        ::testing::internal::CaptureStderr();
        const int code = c.args[0] == "jdiff" ? RunJDiff(4, argv) : RunJPatch(4, argv);
        const std::string message = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(code, c.code) << c.name;
        EXPECT_NE(message.find("not a regular file"), std::string::npos) << c.name << ": " << message;
    }
    EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"fifo", "new", "old", "patch"}));
}

// Every failure prints one line naming the program, what failed and the file; success prints nothing.
TEST(JojoDiffTools, FailuresAreExplainedOnStandardError) {
    TempDir dir;
    WriteFile(dir / "old", "old content");
    WriteFile(dir / "new", "new content");
    ASSERT_EQ(Diff(dir / "old", dir / "new", dir / "patch"), kJDiffDifferent);
    const std::string patch = ReadFile(dir / "patch");
    WriteFile(dir / "truncated", patch.substr(0, patch.size() - 1));
    const struct {
        std::vector<std::string> args;
        int code;
        std::string message;
    } cases[] = {
        {{"jdiff", dir / "missing", dir / "new", dir / "p"}, kJDiffOriginalUnreadable,
         "jdiff: cannot read the original " + dir / "missing" + ": No such file or directory\n"},
        {{"jdiff", dir / "old", dir / "new", dir / "nofolder/p"}, kJDiffOutputFailed,
         "jdiff: cannot create the patch " + dir / "nofolder/p" + ": No such file or directory\n"},
        {{"jpatch", dir / "old", dir / "missing", dir / "out"}, kJPatchPatchUnopenable,
         "jpatch: cannot open the patch " + dir / "missing" + ": No such file or directory\n"},
        {{"jpatch", dir / "new", dir / "patch", dir / "out"}, kJPatchReadFailed,
         "jpatch: the patch was not made from " + dir / "new" + "\n"},
        {{"jpatch", dir / "old", dir / "truncated", dir / "out"}, kJPatchReadFailed,
         "jpatch: the patch is damaged or truncated: " + dir / "truncated" + "\n"},
        {{"jpatch", dir / "old", dir / "patch", dir / "old"}, kJPatchApplied, ""},
        {{"jpatch", "a"}, kJPatchBadArguments, "jpatch: usage: jpatch original patch patched [maximum result bytes]\n"},
    };
    for (const auto& c : cases) {
        std::vector<const char*> argv;
        for (const auto& a : c.args) argv.push_back(a.c_str());
        ::testing::internal::CaptureStderr();
        const int argc = static_cast<int>(argv.size());
        const int code = c.args[0] == "jdiff" ? RunJDiff(argc, argv.data()) : RunJPatch(argc, argv.data());
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.message) << c.args[2];
        EXPECT_EQ(code, c.code) << c.args[2];
    }
}

// SIGTERM, SIGINT and SIGHUP remove the registered temporary output and still end the program by
// that signal.
TEST(JojoDiffToolsDeathTest, TerminationSignalsRemoveTheTemporaryOutput) {
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        TempDir dir;
        WriteFile(dir / "partial", "temporary output");
        EXPECT_EXIT(
            {
                FaultGuard::Install(kJPatchReadFailed);
                FaultGuard::SetCleanupPath((dir / "partial").c_str());
                raise(signal);
                _exit(100);
            },
            ::testing::KilledBySignal(signal), "")
            << strsignal(signal);
        EXPECT_FALSE(Exists(dir / "partial")) << strsignal(signal);
    }
}

// The real program, stopped by SIGTERM once its temporary output exists, leaves only its inputs.
TEST(JojoDiffTools, TerminatedJPatchLeavesNoTemporaryFile) {
    TempDir dir;
    std::string original = Content(64u << 20, 15);
    WriteFile(dir / "old", original);
    WriteFile(dir / "new", Edited(original, 16));
    original.clear();
    ASSERT_EQ(RunProgram({QUOR_JDIFF_PATH, dir / "old", dir / "new", dir / "patch"}), kJDiffDifferent);
    const pid_t pid = StartProgram({QUOR_JPATCH_PATH, dir / "old", dir / "patch", dir / "out"});
    ASSERT_GT(pid, 0);
    // Wait for the temporary output to appear (or for the program to end first).
    int status = 0;
    bool ended = false;
    while (Entries(dir.path()).size() == 3) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            ended = true;
            break;
        }
    }
    if (!ended) {
        kill(pid, SIGTERM);
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    if (WIFSIGNALED(status)) {
        EXPECT_EQ(WTERMSIG(status), SIGTERM);
        EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"new", "old", "patch"}));
    } else {  // it finished before the signal came: then the result is whole
        EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"new", "old", "out", "patch"}));
    }
}

TEST(JojoDiffTools, ProgramsExitWithTheirCodes) {
    TempDir dir;
    WriteFile(dir / "old", Content(5000, 11));
    WriteFile(dir / "new", Content(5000, 12));
    EXPECT_EQ(RunProgram({QUOR_JDIFF_PATH, dir / "old", dir / "new", dir / "patch"}), kJDiffDifferent);
    EXPECT_EQ(RunProgram({QUOR_JDIFF_PATH, dir / "old", dir / "old", dir / "same"}), kJDiffIdentical);
    EXPECT_EQ(RunProgram({QUOR_JDIFF_PATH, dir / "old"}), kJDiffBadArguments);
    EXPECT_EQ(RunProgram({QUOR_JPATCH_PATH, dir / "old", dir / "patch", dir / "out"}), kJPatchApplied);
    EXPECT_EQ(ReadFile(dir / "out"), ReadFile(dir / "new"));
    EXPECT_EQ(RunProgram({QUOR_JPATCH_PATH, dir / "new", dir / "patch", dir / "out2"}), kJPatchReadFailed);
    EXPECT_FALSE(Exists(dir / "out2"));
    EXPECT_EQ(RunProgram({QUOR_JPATCH_PATH}), kJPatchBadArguments);
}

TEST(JojoDiffTools, HundredMebibyteFilesRoundTrip) {
    TempDir dir;
    std::string original = Content(100u << 20, 13);
    WriteFile(dir / "old", original);
    std::string updated = Edited(original, 14);
    original.clear();
    original.shrink_to_fit();
    WriteFile(dir / "new", updated);
    EXPECT_EQ(RunProgram({QUOR_JDIFF_PATH, dir / "old", dir / "new", dir / "patch"}), kJDiffDifferent);
    EXPECT_EQ(RunProgram({QUOR_JPATCH_PATH, dir / "old", dir / "patch", dir / "out"}), kJPatchApplied);
    EXPECT_TRUE(ReadFile(dir / "out") == updated);
}

// A mapped input that shrinks under the program ends it with the code registered for that input,
// and the registered temporary output is removed.
TEST(JojoDiffToolsDeathTest, ShrunkMappedFileEndsTheProgramCleanly) {
    TempDir dir;
    WriteFile(dir / "input", std::string(1 << 16, 'x'));
    WriteFile(dir / "partial", "temporary output");
    EXPECT_EXIT(
        {
            FaultGuard::Install(kJPatchWriteFailed);
            MappedInput input;
            if (input.Open((dir / "input").c_str()) != MappedInput::Status::Ok) _exit(100);
            FaultGuard::Watch(input.data(), input.size(), kJPatchReadFailed);
            FaultGuard::SetCleanupPath((dir / "partial").c_str());
            if (truncate((dir / "input").c_str(), 0) != 0) _exit(101);
            volatile uint8_t sink = input.data()[40000];
            (void)sink;
            _exit(102);
        },
        ::testing::ExitedWithCode(kJPatchReadFailed), "");
    EXPECT_FALSE(Exists(dir / "partial"));
}

}  // namespace
}  // namespace JojoDiff
