// An installation killed with SIGKILL at random points: "S_OK" never stands over a tree that
// differs from the expected one, and a rerun (after the start-up sweep of temp/) completes the
// tree and fetches only the files that were not in place yet.
#include <signal.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "tests/kit/install/InstallFixture.h"
#include "tests/kit/RunCommand.h"

namespace InstallE2E {
namespace {

class InstallCrashTest : public InstallFixture {
protected:
    // Starts the child program in this process's working folder ({root}/system), its output
    // discarded.
    static pid_t StartChild() {
        const pid_t pid = QuorTest::StartQuiet(QUOR_INSTALL_CHILD, {"alpha", "ffffffff"});
        EXPECT_GT(pid, 0);
        return pid;
    }
    static int Reap(pid_t pid) { return QuorTest::WaitForChild(pid); }
    // Runs the install program to its end (exit code 0 expected); how long it took.
    std::chrono::microseconds CompleteRun() {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(0, WEXITSTATUS(Reap(StartChild())));
        return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    }
    // Starts the install program and kills it at a random point of a span as long as a complete run.
    void KillAtRandomPoint() {
        const pid_t child = StartChild();
        std::this_thread::sleep_for(std::chrono::microseconds(m_point(m_random)));  // the kill point, not an order
        kill(child, SIGKILL);
        Reap(child);
    }
    void DrawKillPointsFrom(std::chrono::microseconds span) { m_point = std::uniform_int_distribution<long>(0, span.count()); }

    const unsigned m_seed = std::random_device{}();
    std::mt19937 m_random{m_seed};
    std::uniform_int_distribution<long> m_point{0, 0};

    // The whole-file GETs nginx logged after `from`, once a marker request made after the child
    // ended shows that every earlier line is written (one worker logs in order).
    std::vector<std::string> GetsSince(size_t from, int marker) {
        const std::string uri = "/marker-" + std::to_string(marker);
        DWORD size = 0;
        (void)http->GetFileSize(uri, size);
        for (size_t count = from + 1;; ++count) {
            if (!nginx->WaitForAccessLog(count)) {
                ADD_FAILURE() << "the marker request was not logged";
                return {};
            }
            const auto log = nginx->accessLog();
            if (log.back().uri == uri) break;
        }
        return FileGets(from);
    }
};

TEST_F(InstallCrashTest, KilledAtRandomPointsNeverLeavesACompletionMarkerOverAnIncompleteTree) {
    ReleaseSpec& release = AddFirstRelease();
    for (int i = 0; i < 120; ++i) release.AddFile("small/f" + std::to_string(i), i % 3 == 0 ? 0x04 : 0, Bytes(3000, 100 + i));
    release.AddFile("big/one.bin", 0x04, Bytes(3 << 20, 7));
    release.AddFile("big/two.bin", 0x02 | 0x20, Bytes(2 << 20, 8));
    Serve();

    // One whole run gives the time span the kill points are drawn from.
    DrawKillPointsFrom(CompleteRun());
    ASSERT_EQ("", Difference({kV1}));
    SCOPED_TRACE("seed " + std::to_string(m_seed));
    for (int round = 0; round < 50; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        Quor::User::ManagedFileHelper::Release();
        std::filesystem::remove_all(root + "/projects/alpha");
        std::filesystem::remove(RunMeMarker());

        KillAtRandomPoint();
        if (QuorTest::Exists(Ok(kV1))) {
            ASSERT_EQ("", Difference({kV1}));
        }

        const std::multiset<std::string> missing = NotPlacedEntries();
        std::string archives;
        for (const auto& [path, md5] : Actual())
            if (path.find("filearchives") != std::string::npos) archives += path + " " + md5 + "\n";
        std::error_code none;
        for (const auto& entry :
             std::filesystem::recursive_directory_iterator(root + "/projects/alpha/filearchives", none))
            archives += entry.path().string() + "\n";
        const size_t before = nginx->accessLog().size();
        ASSERT_EQ(0, WEXITSTATUS(Reap(StartChild())));
        EXPECT_TRUE(QuorTest::Exists(Ok(kV1)));
        ASSERT_EQ("", Difference({kV1}));
        std::multiset<std::string> fetched;
        for (const std::string& uri : GetsSince(before, round)) fetched.insert(NameOf(uri));
        ASSERT_EQ(missing, fetched) << archives;
        EXPECT_TRUE(TempFiles().empty());
    }
}

TEST_F(InstallCrashTest, AReinstallOverADamagedFileKilledAtRandomPointsNeverKeepsItsCompletionMarker) {
    ReleaseSpec& release = AddFirstRelease();
    for (int i = 0; i < 200; ++i) release.AddFile("small/f" + std::to_string(i), i % 2 ? 0x04 : 0, Bytes(4000, 300 + i));
    Serve();
    CompleteRun();
    const std::string runSh = root + "/projects/alpha/releases/1.0.0.1/deploy/bin/run.sh";
    const std::string good = QuorTest::ReadFile(runSh);
    std::string bad = good;
    bad[3] ^= 1;

    QuorTest::WriteFile(runSh, bad);
    DrawKillPointsFrom(CompleteRun());
    ASSERT_EQ("", Difference({kV1}));
    SCOPED_TRACE("seed " + std::to_string(m_seed));
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        ASSERT_TRUE(QuorTest::Exists(Ok(kV1)));
        QuorTest::WriteFile(runSh, bad);
        KillAtRandomPoint();
        // "S_OK" goes once the plan shows the damaged file, before anything changes: while it
        // stands, the tree is either untouched (killed before the plan was made) or complete.
        if (QuorTest::Exists(Ok(kV1))) {
            if (QuorTest::ReadFile(runSh) == bad) {
                QuorTest::TreeSnapshot expected = Expected({kV1});
                expected["projects/alpha/releases/1.0.0.1/deploy/bin/run.sh"] = QuorTest::Md5Hex(bad);
                ASSERT_EQ("", QuorTest::SnapshotDifference(expected, Actual()));
            } else {
                ASSERT_EQ("", Difference({kV1}));
            }
        }
        ASSERT_EQ(0, WEXITSTATUS(Reap(StartChild())));
        ASSERT_EQ("", Difference({kV1}));
    }
}

}  // namespace
}  // namespace InstallE2E
