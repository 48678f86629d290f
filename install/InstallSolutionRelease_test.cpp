#include "install/InstallSolutionRelease.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "archive/ManagedFileHelper.h"
#include "common/ReleaseVersion.h"
#include "common/testing/LogCapture.h"
#include "foundation/OsContext.h"
#include "foundation/testing/FaultInjectingFileSystem.h"
#include "install/InstalledState.h"
#include "tests/kit/content/InstalledTree.h"
#include "tests/kit/content/SuiteContent.h"
#include "tests/kit/content/ExpectedInstall.h"
#include "tests/kit/content/FakeRemoteFileServer.h"
#include "tests/kit/content/TreeSnapshot.h"
#include "tools/contenttree/ContentTreeBuilder.h"

namespace Quor::User::InstallSolutionRelease {
namespace {

using InstallTesting::V;
constexpr DWORD kProject = V(1, 0, 0, 1);
constexpr DWORD kSuite = V(2, 0, 0, 1);

// Solution "suite" 2.0.0.1: alpha (priority 5, every kind of entry) and beta (priority 9, also
// carrying data/z.txt) in "en_US", alpha alone in "fr_FR".
class InstallSolutionReleaseTest : public InstallTesting::InstallTreeTest {
protected:
    void SetUp() override {
        RegisterInstalledStateServices();
        InstallTesting::AddSuiteContent(description, kProject, kSuite);
        std::string error;
        ASSERT_TRUE(Tools::ContentTree::BuildContentTree(description, content.path(), error)) << error;
    }

    HRESULT Install(DWORD version, const std::string& configuration) {
        const InputParameters input{"suite", version, configuration, fileSystem, server, progress};
        const Discover discover(input);
        const Execute execute(discover);
        return execute.m_hr;
    }
    QuorTest::TreeSnapshot Actual() const { return InstallTesting::InstalledSnapshot(root); }
    QuorTest::TreeSnapshot Expected(const std::string& configuration) const {
        return QuorTest::ExpectedSolutionInstall(description, content.path(), "suite", kSuite, configuration);
    }
    std::string SolutionFolder() const { return root + "/solutions/suite/releases/2.0.0.1"; }

    Tools::ContentTree::ContentDescription description;
    QuorTest::TempDir content{"quorserver"};
    QuorTest::FakeRemoteFileServer server{content.path(), "/quor", "xx"};
};

TEST_F(InstallSolutionReleaseTest, InstallsEveryProjectAndTheUnionOfTheirPlainFiles) {
    QuorTest::LogCapture log(Log::ERROR);
    ASSERT_EQ(Install(INVALID_RELEASE_VERSION, "en_US"), S_OK) << log.Errors();
    EXPECT_EQ(QuorTest::SnapshotDifference(Expected("en_US"), Actual()), "");
    EXPECT_EQ(QuorTest::ReadFile(SolutionFolder() + "/deploy/data/z.txt"), "beta's z");

    // The same release and configuration spelled otherwise: nothing is asked or done.
    server.ClearRecords();
    const QuorTest::TreeSnapshot before = Actual();
    ASSERT_EQ(Install(kSuite, "EN_us"), S_OK) << log.Errors();
    EXPECT_TRUE(server.RequestLog().empty());
    EXPECT_EQ(QuorTest::SnapshotDifference(before, Actual()), "");
}

TEST_F(InstallSolutionReleaseTest, AConfigurationChangeIsNotCompleteUntilItsFilesAreRewritten) {
    QuorTest::LogCapture log(Log::ERROR);
    ASSERT_EQ(Install(INVALID_RELEASE_VERSION, "en_US"), S_OK) << log.Errors();
    const std::string ok = SolutionFolder() + "/S_OK";
    {
        // A preview runs the discovery alone: the release stays complete.
        const InputParameters input{"suite", kSuite, "fr_FR", fileSystem, server, progress};
        const Discover preview(input);
        EXPECT_EQ(preview.m_hr, S_OK);
        EXPECT_FALSE(preview.m_AlreadyInstalled);
        EXPECT_TRUE(QuorTest::Exists(ok));
    }
    // An execution that fails to write the configuration manifest leaves no "S_OK".
    {
        QuorTest::FaultInjectingFileSystem faults;
        const size_t opens = faults.Fail(QuorTest::FileCall::OpenForWrite, QuorTest::PathMatch::EndingWith("/configurationmanifest"),
                                         ENOSPC, QuorTest::FaultInjectingFileSystem::kEvery);
        Vorn::ScopedOsContext os({.files = &faults});
        QuorTest::LogCapture quiet(Log::USER);
        EXPECT_TRUE(FAILED(Install(kSuite, "fr_FR")));
        EXPECT_GE(faults.Failed(opens), 1u);
    }
    EXPECT_FALSE(QuorTest::Exists(ok));

    ASSERT_EQ(Install(kSuite, "fr_FR"), S_OK) << log.Errors();
    QuorTest::TreeSnapshot expected = Expected("fr_FR");
    expected.merge(QuorTest::ExpectedProjectInstall(description, content.path(), "beta", kProject));
    // The file of the old configuration's beta that fr_FR does not provide stays.
    expected["solutions/suite/releases/2.0.0.1/deploy/beta/only.txt"] = QuorTest::Md5Hex("beta only");
    EXPECT_EQ(QuorTest::SnapshotDifference(expected, Actual()), "");
}

TEST_F(InstallSolutionReleaseTest, FailuresOfTheDiscoveryAndOfAProjectExecution) {
    {
        QuorTest::LogCapture log;
        EXPECT_TRUE(FAILED(Install(kSuite, "de_DE")));
        EXPECT_TRUE(log.HasError("Failed to gather projects for configuration \"de_DE\""));
        EXPECT_TRUE(log.HasError("Discover failed"));
    }
    {
        QuorTest::LogCapture log;
        EXPECT_TRUE(FAILED(Install(V(2, 0, 0, 7), "en_US")));  // not on the server: accepted, then not fetched
        EXPECT_TRUE(log.HasError("Failure to download suite manifest."));
    }
    {
        cancel = 1;
        QuorTest::LogCapture log;
        EXPECT_EQ(Install(kSuite, "en_US"), E_ABORT);
        EXPECT_TRUE(log.HasError("Cancellation request detected, aborting"));
        cancel = 0;
    }
    {
        // A cancellation inside a project's execution ends the solution with E_FAIL.
        server.CancelAfterFiles(1, &cancel, "/files/");
        QuorTest::LogCapture log;
        EXPECT_EQ(Install(kSuite, "en_US"), E_FAIL);
        EXPECT_TRUE(log.HasError("Execution step failed"));
        EXPECT_FALSE(QuorTest::Exists(SolutionFolder() + "/S_OK"));
    }
}

TEST_F(InstallSolutionReleaseTest, AServedManifestWhoseNamesLeaveTheTreeInstallsNothing) {
    const std::string served = content / "quor/solutions/suite/releases/2.0.0.1/solutionmanifest";
    const std::string text = QuorTest::ReadFile(served);
    ASSERT_NE(text.find("\nsuite\n"), std::string::npos) << text;
    struct Case {
        std::string from, to, message;
    } cases[] = {
        {"\nsuite\n", "\n../../x\n", "Invalid solution name \"../../x\""},
        {"\nen_US\n", "\n../en_US\n", "Invalid configuration name \"../en_US\""},
    };
    for (const Case& c : cases) {
        std::string bad = text;
        bad.replace(bad.find(c.from), c.from.size(), c.to);
        QuorTest::WriteFile(served, bad);
        QuorTest::LogCapture log;
        EXPECT_TRUE(FAILED(Install(kSuite, "en_US"))) << c.message;
        EXPECT_TRUE(log.HasError(c.message)) << log.Errors();
        EXPECT_FALSE(QuorTest::Exists(SolutionFolder() + "/S_OK")) << c.message;
        EXPECT_FALSE(QuorTest::Exists(root + "/projects/alpha")) << c.message;
    }
}

}  // namespace
}  // namespace Quor::User::InstallSolutionRelease
