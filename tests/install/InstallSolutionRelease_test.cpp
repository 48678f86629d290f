// End-to-end: a solution release installed over nginx, its configuration changed, and project
// and solution releases uninstalled, compared with the trees the content description implies.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>

#include "install/InstallSolutionRelease.h"
#include "install/Uninstall.h"
#include "tests/kit/install/InstallFixture.h"
#include "tests/kit/content/InstalledTree.h"

namespace InstallE2E {
namespace {

constexpr DWORD kSuite = 0x02000001;  // 2.0.0.1

class InstallSolutionE2E : public InstallFixture {
protected:
    // alpha (priority 5) as the first release, beta (priority 9) also carrying data/z.txt;
    // "en_US" installs both, "fr_FR" alpha alone.
    void AddSuite() {
        AddFirstRelease();
        ReleaseSpec& beta = description.AddProject("beta").AddRelease(kV1, {"xx"});
        beta.AddFile("data/z.txt", 0, "beta's z");
        beta.AddFile("beta/only.txt", 0x04, Bytes(3000, 9));
        beta.AddFile("b/arch.bin", 0x02, Bytes(2000, 10));
        ReleaseSpec& suite = description.AddSolution("suite").AddRelease(kSuite, {"xx"});
        suite.projects = {{"alpha", kV1, 5, 0}, {"beta", kV1, 9, 0}};
        suite.configurations = {{"en_US", {"alpha", "beta"}}, {"fr_FR", {"alpha"}}};
    }
    HRESULT InstallSuite(DWORD version, const std::string& configuration) {
        const Quor::User::InstallSolutionRelease::InputParameters input{"suite", version, configuration,
                                                                         fileSystem, *http, progress};
        const Quor::User::InstallSolutionRelease::Discover discover(input);
        const Quor::User::InstallSolutionRelease::Execute execute(discover);
        return execute.m_hr;
    }
    QuorTest::TreeSnapshot Tree() const { return InstallTesting::InstalledSnapshot(root); }
    QuorTest::TreeSnapshot ExpectedSuite(const std::string& configuration) const {
        return QuorTest::ExpectedSolutionInstall(description, content.path(), "suite", kSuite, configuration);
    }
};

// Beta's file that only en_US provides: a change to fr_FR leaves it in the deploy folder.
const std::string kOldConfigurationsFile = "solutions/suite/releases/2.0.0.1/deploy/beta/only.txt";

TEST_F(InstallSolutionE2E, InstallsReinstallsNothingAndChangesConfiguration) {
    AddSuite();
    Serve();
    ASSERT_EQ(InstallSuite(Quor::INVALID_RELEASE_VERSION, "en_US"), S_OK);
    EXPECT_EQ(QuorTest::SnapshotDifference(ExpectedSuite("en_US"), Tree()), "");
    EXPECT_EQ(QuorTest::ReadFile(root + "/solutions/suite/releases/2.0.0.1/deploy/data/z.txt"), "beta's z");

    const size_t requests = nginx->accessLog().size();
    EXPECT_EQ(InstallSuite(kSuite, "EN_us"), S_OK);
    EXPECT_EQ(nginx->accessLog().size(), requests);

    ASSERT_EQ(InstallSuite(kSuite, "fr_FR"), S_OK);
    QuorTest::TreeSnapshot expected = ExpectedSuite("fr_FR");
    expected.merge(QuorTest::ExpectedProjectInstall(description, content.path(), "beta", kV1));
    expected[kOldConfigurationsFile] = QuorTest::Md5Hex(Bytes(3000, 9));  // the old configuration's file stays
    EXPECT_EQ(QuorTest::SnapshotDifference(expected, Tree()), "");
}

// A configuration change killed at random points: the release is marked complete only over the
// whole tree of one configuration, the old or the new. The change runs in a forked
// copy of this (single-threaded) process; no archive is touched, as every project is installed.
TEST_F(InstallSolutionE2E, AConfigurationChangeKilledAtRandomPointsIsNeverMarkedComplete) {
    AddSuite();
    Serve();
    ASSERT_EQ(InstallSuite(kSuite, "en_US"), S_OK);
    QuorTest::TreeSnapshot expected = ExpectedSuite("fr_FR");
    expected.merge(QuorTest::ExpectedProjectInstall(description, content.path(), "beta", kV1));
    expected[kOldConfigurationsFile] = QuorTest::Md5Hex(Bytes(3000, 9));  // the old configuration's file stays
    const std::string ok = root + "/solutions/suite/releases/2.0.0.1/S_OK";
    const auto change = [this] {
        Quor::User::ManagedFileHelper::Release();
        const pid_t child = fork();
        if (child == 0) _exit(InstallSuite(kSuite, "fr_FR") == S_OK ? 0 : 1);
        return child;
    };
    const auto reap = [](pid_t child) {
        int status = 0;
        EXPECT_EQ(waitpid(child, &status, 0), child);
        return status;
    };
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(WEXITSTATUS(reap(change())), 0);
    const auto span = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    ASSERT_EQ(QuorTest::SnapshotDifference(expected, Tree()), "");

    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::uniform_int_distribution<long> point(0, span.count());
    for (int round = 0; round < 30; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        ASSERT_EQ(InstallSuite(kSuite, "en_US"), S_OK);
        const pid_t child = change();
        std::this_thread::sleep_for(std::chrono::microseconds(point(random)));  // the kill point, not an order
        kill(child, SIGKILL);
        reap(child);
        if (QuorTest::Exists(ok)) {  // killed before the change began, or after it ended
            const QuorTest::TreeSnapshot now = Tree();
            const bool before = QuorTest::SnapshotDifference(ExpectedSuite("en_US"), now).empty();
            ASSERT_TRUE(before || QuorTest::SnapshotDifference(expected, now).empty())
                << QuorTest::SnapshotDifference(ExpectedSuite("en_US"), now);
        }
    }
}

TEST_F(InstallSolutionE2E, UninstallKeepsSharedFilesUntilTheLastReleaseGoes) {
    AddFirstRelease();
    AddSharingRelease(kV2);
    Serve();
    ASSERT_EQ(Install(kV1), S_OK);
    ASSERT_EQ(Install(kV2), S_OK);
    ASSERT_EQ(Quor::User::UninstallProjectRelease("alpha", kV2, fileSystem, progress), S_OK);
    EXPECT_EQ(QuorTest::SnapshotDifference(Expected({kV1}), Actual()), "");
    ASSERT_EQ(Quor::User::UninstallProjectRelease("alpha", kV1, fileSystem, progress), S_OK);
    EXPECT_EQ(QuorTest::SnapshotDifference({}, Actual()), "");
}

TEST_F(InstallSolutionE2E, SolutionUninstallKeepsWhatAnotherReleaseUses) {
    AddSuite();
    ReleaseSpec& second = description.solutions.front().AddRelease(0x02000002, {"xx"});
    second.projects = {{"alpha", kV1, 5, 0}};
    second.configurations = {{"en_US", {"alpha"}}};
    Serve();
    ASSERT_EQ(InstallSuite(kSuite, "en_US"), S_OK);
    ASSERT_EQ(InstallSuite(0x02000002, "en_US"), S_OK);
    const QuorTest::TreeSnapshot before = Tree();
    EXPECT_EQ(Quor::User::UninstallSolutionRelease("suite", 0x02000009, fileSystem, progress), E_FAIL);
    EXPECT_EQ(QuorTest::SnapshotDifference(before, Tree()), "");

    ASSERT_EQ(Quor::User::UninstallSolutionRelease("suite", kSuite, fileSystem, progress), S_OK);
    EXPECT_EQ(QuorTest::SnapshotDifference(QuorTest::ExpectedSolutionInstall(description, content.path(), "suite",
                                                                             0x02000002, "en_US"),
                                           Tree()),
              "");  // alpha stays for 2.0.0.2; beta, used by no other release, is gone
}

}  // namespace
}  // namespace InstallE2E
