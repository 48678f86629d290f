// A flush of a large pair is killed (SIGKILL) in a child process at many points, and after each
// kill the pair must read back whole: every file with its old content, or every file with its
// new content, never wrong bytes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "archive/ArchiveFile.h"
#include "archive/FolderEntries.h"
#include "archive/FolderLock.h"
#include "archive/IMain.h"
#include "archive/PairCommit.h"
#include "archive/testing/ArchiveTesting.h"
#include "tests/kit/TempDir.h"
#include "foundation/CStd/CStd.h"

namespace Quor::FileSystem::Impl {
namespace {

using ArchiveTesting::Content;
using ArchiveTesting::ReadStretch;
using QuorTest::TempDir;
using QuorTest::WriteFile;

constexpr int kFiles = 48;

// The writer reports on this pipe (when open): byte 0 when its flush starts, then each step of
// the commit it passes.
int g_StepPipe = -1;
void Report(uint8_t what) {
    if (g_StepPipe >= 0) (void)!write(g_StepPipe, &what, 1);
}
void ReportStep(PairCommit::Step step) { Report(static_cast<uint8_t>(step)); }

std::string PathOf(int k) { return "data/file" + std::to_string(k) + ".bin"; }

// Sizes change with the generation so that offsets move between writes; file 0 is always empty.
size_t SizeOf(int k, int generation) { return k == 0 ? 0 : 96 * 1024 + size_t(k) * 4093 + size_t(generation % 3) * 777; }

std::string ContentOf(int k, int generation) { return Content(uint64_t(k) * 100000 + generation, SizeOf(k, generation)); }

class CrashSafetyTest : public ::testing::Test {
protected:
    void SetUp() override {
        Log::SetLogLevel(Log::USER);
        WriteSources(1);
        RunChild(0, nullptr);  // generation 1 in place, uninterrupted
        ASSERT_EQ(StateOnDisk(), 1);
    }

    std::string SourceOf(int k, int generation) const {
        return dir / ("src/" + std::to_string(generation) + "/" + std::to_string(k));
    }
    void WriteSources(int generation) {
        for (int k = 0; k < kFiles; ++k) WriteFile(SourceOf(k, generation), ContentOf(k, generation));
    }

    // Every other file written straight into the archive instead of being added from its source.
    bool WriteInPlace(IManager& manager, int k, int generation) {
        const std::string bytes = ContentOf(k, generation);
        const Vorn::UniqueFd output = manager.BeginAddInPlace(PathOf(k), bytes.size());
        const int fd = output.Get();
        for (size_t done = 0; fd >= 0 && done < bytes.size();) {
            const ssize_t n = ::write(fd, bytes.data() + done, std::min<size_t>(bytes.size() - done, 8192));
            if (n <= 0) return false;
            done += size_t(n);
        }
        return fd >= 0 && manager.EndAddInPlace(PathOf(k), true, nullptr);
    }

    // Once a manager has loaded the folder it holds the pair and the writer's lock file, nothing
    // that a write which never committed left behind.
    void ExpectNoLeftovers() {
        for (const std::string& name : FolderEntries(folder))
            EXPECT_TRUE(name.ends_with(".zef") || name.ends_with(".zef.dat") || name == FolderLock::kFileName) << name;
    }

    // The writer: replaces every file by its next generation and flushes. Runs in the child.
    [[noreturn]] void Writer(int next, PairCommit::StepHook hook) {
        PairCommit::SetStepHookForTesting(hook);
        bool ok = true;
        {
            std::shared_ptr<IManager> manager;
            ok = Instance().CreateManager(manager, folder, "");
            for (int k = 0; ok && k < kFiles; ++k) {
                const std::string source = SourceOf(k, next);
                if (next > 1) ok = manager->Delete(PathOf(k), nullptr);
                ok = ok && (inPlace && k % 2 ? WriteInPlace(*manager, k, next) : manager->Add(PathOf(k), &source, nullptr));
            }
            Report(0);
            if (killBeforeFlush) kill(getpid(), SIGKILL);
            ok = ok && manager->WriteArchiveFiles(false, nullptr);
        }
        _exit(ok ? 0 : 1);
    }

    // Forks a writer of generation + 1 and kills it after `delay`, or as soon as it reports
    // `killOn` (neither: waits for its end). Returns the exit status as waitpid gives it;
    // `reported` receives what the writer reported before it ended.
    int RunChild(int generation, PairCommit::StepHook hook, std::chrono::microseconds* delay = nullptr,
                 int killOn = -1, std::string* reported = nullptr) {
        int fds[2];
        EXPECT_EQ(pipe2(fds, O_CLOEXEC), 0);
        const pid_t pid = fork();
        if (pid == 0) {
            close(fds[0]);
            g_StepPipe = fds[1];
            Writer(generation + 1, hook);
        }
        EXPECT_GT(pid, 0);
        close(fds[1]);
        if (delay) {
            std::this_thread::sleep_for(*delay);
            kill(pid, SIGKILL);
        }
        std::string seen;
        for (uint8_t what = 0; read(fds[0], &what, 1) == 1;) {
            seen += static_cast<char>(what);
            if (what == killOn) kill(pid, SIGKILL);
        }
        close(fds[0]);
        if (reported) *reported = seen;
        int status = 0;
        EXPECT_EQ(waitpid(pid, &status, 0), pid);
        return status;
    }

    // Reads the pair the way a reader does, without finishing anything first: either it reads
    // and every file is of one generation, or it reports that index and data do not match.
    // Returns the generation read, or 0 when the pair was refused.
    int ReadWithoutRecovery() {
        std::vector<std::string> names;
        char* list = nullptr;
        if (!Vorn::std_get_dir_listing(folder.c_str(), list)) return -1;
        for (const char* n = list; *n; n += strlen(n) + 1)
            if (std::string(n).ends_with(".zef")) names.emplace_back(n);
        Vorn::std_free_dir_listing(list);
        if (names.size() != 1) {
            ADD_FAILURE() << names.size() << " index files";
            return -1;
        }
        ArchiveFile pair(names[0], folder, 10);
        if (!pair.Read(nullptr)) {
            EXPECT_EQ(pair.GetReadFailure(), ArchiveFile::ReadFailure::kDataMismatch);
            return 0;
        }
        return Generation([&](const std::string& path, uint32_t& offset, uint32_t& size) {
            return pair.Search(path, offset, size);
        }, names[0] + ".dat");
    }

    // Opens a manager (which finishes an interrupted commit) and returns the one generation that
    // every file has; fails the test on a mix or on wrong bytes.
    int StateOnDisk() {
        std::shared_ptr<IManager> manager;
        if (!Instance().CreateManager(manager, folder, "")) {
            ADD_FAILURE() << "the archive folder does not load";
            return -1;
        }
        std::string archive;
        uint32_t offset = 0, size = 0;
        if (!manager->Find(PathOf(1), archive, offset, size)) {
            ADD_FAILURE() << "file 1 is not stored";
            return -1;
        }
        return Generation([&](const std::string& path, uint32_t& o, uint32_t& s) {
            std::string name;
            return manager->Find(path, name, o, s) && name == archive;
        }, archive);
    }

    template <typename Search>
    int Generation(Search search, const std::string& dataName) {
        int found = -1;
        for (int k = 0; k < kFiles; ++k) {
            uint32_t offset = 0, size = 0;
            if (!search(PathOf(k), offset, size)) {
                ADD_FAILURE() << PathOf(k) << " missing";
                return -1;
            }
            const std::string bytes = size ? ReadStretch(folder + "/" + dataName, offset, size) : std::string();
            if (k == 0) {  // the empty file is the same in every generation
                EXPECT_EQ(size, 0u);
                continue;
            }
            int generation = -1;
            for (int g : {current, current + 1})
                if (bytes == ContentOf(k, g)) generation = g;
            if (generation < 0 || (found >= 0 && generation != found)) {
                ADD_FAILURE() << PathOf(k) << " reads wrong or mixed bytes (" << size << " bytes)";
                return -1;
            }
            found = generation;
        }
        return found;
    }

    void KillAtTimedPoints();
    void KillAtEachStepOfTheCommit();

    TempDir dir;
    std::string folder = dir / "arch";
    int current = 1;
    bool inPlace = false;
    bool killBeforeFlush = false;
};

void CrashSafetyTest::KillAtTimedPoints() {
    WriteSources(2);
    const auto start = std::chrono::steady_clock::now();
    RunChild(1, nullptr);
    const auto duration = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    ASSERT_EQ(StateOnDisk(), 2);
    current = 2;

    // Timed kill points over the whole flush, then one as the flush starts and one as soon as
    // the commit's journal is written.
    constexpr int kPoints = 24;
    int rolledForward = 0, rolledBack = 0;
    for (int i = 1; i <= kPoints + 2; ++i) {
        WriteSources(current + 1);
        auto delay = duration * i / (kPoints + 1);
        std::string reported;
        if (i <= kPoints)
            RunChild(current, ReportStep, &delay, -1, &reported);
        else
            RunChild(current, ReportStep, nullptr, i == kPoints + 1 ? 0 : int(PairCommit::Step::kJournalWritten),
                     &reported);
        // A journal reported as written means the commit happened before the kill.
        const bool committed = reported.find(char(PairCommit::Step::kJournalWritten)) != std::string::npos;
        // Read as it lies (a pair whose commit is not finished may read old or be refused),
        // then as the next manager finds it.
        ASSERT_GE(ReadWithoutRecovery(), 0) << "kill point " << i;
        const int state = StateOnDisk();
        ASSERT_TRUE(state == current || state == current + 1) << "kill point " << i;
        if (committed) {
            EXPECT_EQ(state, current + 1) << "kill point " << i << " came after the commit";
        }
        rolledForward += state == current + 1;
        rolledBack += state == current;
        current = state;
        ExpectNoLeftovers();
    }
    // The kill points came both before the commit (the old pair stands) and after it (the next
    // manager finishes the commit).
    EXPECT_GT(rolledBack, 0);
    EXPECT_GT(rolledForward, 0);
    RecordProperty("kills_after_commit", rolledForward);
    RecordProperty("kills_before_commit", rolledBack);
}

TEST_F(CrashSafetyTest, KilledAtTimedPointsOfAFlush) { KillAtTimedPoints(); }

// The kill points also fall while files are being written into the archive, before the flush.
TEST_F(CrashSafetyTest, KilledAtTimedPointsOfWritingInPlaceAndOfTheFlush) {
    inPlace = true;
    KillAtTimedPoints();
}

// Every file written into the archive, then killed before the flush: the archive is as it was.
TEST_F(CrashSafetyTest, KilledAfterWritingInPlaceBeforeTheFlush) {
    inPlace = true;
    killBeforeFlush = true;
    WriteSources(2);
    std::string reported;
    const int status = RunChild(current, nullptr, nullptr, -1, &reported);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    ASSERT_EQ(reported, std::string(1, '\0'));
    EXPECT_EQ(ReadWithoutRecovery(), current);
    EXPECT_EQ(StateOnDisk(), current);
    ExpectNoLeftovers();
}

void KillSelf(PairCommit::Step) { kill(getpid(), SIGKILL); }

template <PairCommit::Step S>
void KillAt(PairCommit::Step step) {
    if (step == S) KillSelf(step);
}

void CrashSafetyTest::KillAtEachStepOfTheCommit() {
    // What a reader that does not finish commits sees after each kill: the old pair, a pair it
    // refuses (new data under the old index), then the new pair.
    const struct {
        PairCommit::StepHook hook;
        int direct;  // 0: refused, 1: old generation, 2: new generation
    } cases[] = {{KillAt<PairCommit::Step::kJournalWritten>, 1},
                 {KillAt<PairCommit::Step::kDataRenamed>, 0},
                 {KillAt<PairCommit::Step::kIndexRenamed>, 2},
                 {KillAt<PairCommit::Step::kJournalRemoved>, 2}};
    for (const auto& c : cases) {
        WriteSources(current + 1);
        const int status = RunChild(current, c.hook);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        const int direct = ReadWithoutRecovery();
        EXPECT_EQ(direct, c.direct == 0 ? 0 : current + c.direct - 1);
        // Once the journal is written the new pair is the pair: loading finishes the commit.
        ASSERT_EQ(StateOnDisk(), current + 1);
        ++current;
        ExpectNoLeftovers();
    }
}

TEST_F(CrashSafetyTest, KilledAtEachStepOfTheCommit) { KillAtEachStepOfTheCommit(); }

TEST_F(CrashSafetyTest, KilledAtEachStepOfTheCommitOfFilesWrittenInPlace) {
    inPlace = true;
    KillAtEachStepOfTheCommit();
}

}  // namespace
}  // namespace Quor::FileSystem::Impl
