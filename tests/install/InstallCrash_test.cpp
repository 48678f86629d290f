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

#include "tests/install/InstallFixture.h"
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
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(0, WEXITSTATUS(Reap(StartChild())));
    const auto span = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    ASSERT_EQ("", Difference({kV1}));

    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::uniform_int_distribution<long> point(0, span.count());
    for (int round = 0; round < 50; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        Quor::User::ManagedFileHelper::Release();
        std::filesystem::remove_all(root + "/projects/alpha");
        std::filesystem::remove(RunMeMarker());

        const pid_t child = StartChild();
        std::this_thread::sleep_for(std::chrono::microseconds(point(random)));  // the kill point, not an order
        kill(child, SIGKILL);
        Reap(child);
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

}  // namespace
}  // namespace InstallE2E
