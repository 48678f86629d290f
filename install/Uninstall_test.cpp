#include "install/Uninstall.h"

#include <gtest/gtest.h>

#include <functional>

#include "archive/ManagedFileHelper.h"
#include "common/ReleaseVersion.h"
#include "common/testing/LogCapture.h"
#include "install/InstallProjectRelease.h"
#include "install/InstalledState.h"
#include "install/LogParameters.h"
#include "tests/kit/content/InstalledTree.h"
#include "tests/kit/content/ExpectedInstall.h"
#include "tests/kit/content/FakeRemoteFileServer.h"
#include "tests/kit/content/TreeSnapshot.h"
#include "tools/contenttree/ContentTreeBuilder.h"

namespace Quor::User {
namespace {

using InstallTesting::V;
constexpr DWORD kV1 = V(1, 0, 0, 1);
constexpr DWORD kV2 = V(1, 0, 0, 2);

// Project alpha 1.0.0.1 and 1.0.0.2 installed side by side from a content tree. Both list
// m/shared.dat and a/t1.bin at 1.0.0.1 with equal flags, m/g.dat at 1.0.0.1 with another server
// form only (one copy serves both), and m/f.dat at 1.0.0.1 in another place (managed in the first,
// archived in the second: two copies).
class UninstallProjectTest : public InstallTesting::InstallTreeTest {
protected:
    void SetUp() override {
        RegisterInstalledStateServices();
        auto& alpha = description.AddProject("alpha");
        auto& first = alpha.AddRelease(kV1, {"xx"});
        first.AddFile("bin/run.sh", 0, "run 1");
        first.AddFile("m/shared.dat", 0x01, "shared");
        first.AddFile("m/f.dat", 0x01, "flags differ");
        first.AddFile("m/g.dat", 0x01, "server form differs");
        first.AddFile("a/t1.bin", 0x06, std::string(3000, 't'));
        first.AddFile("a/t2.bin", 0x02, "t2 of 1");
        auto& second = alpha.AddRelease(kV2, {"xx"});
        second.AddFile("bin/run.sh", 0, "run 2");
        second.AddFile("m/shared.dat", 0x01, "shared").version = kV1;
        second.AddFile("m/f.dat", 0x02, "flags differ").version = kV1;
        second.AddFile("m/g.dat", 0x05, "server form differs").version = kV1;
        second.AddFile("a/t1.bin", 0x06, std::string(3000, 't')).version = kV1;
        second.AddFile("a/t2.bin", 0x02, "t2 of 2");
        second.AddFile("m/only2.dat", 0x01, "only 2");
        std::string error;
        ASSERT_TRUE(Tools::ContentTree::BuildContentTree(description, content.path(), error)) << error;
        for (DWORD version : {kV1, kV2}) ASSERT_EQ(Install(version), S_OK) << version;
    }
    HRESULT Install(DWORD version) {
        const std::string project = "alpha";
        const InstallProjectRelease::InputParameters input{project, version, fileSystem, server, progress};
        InstallProjectRelease::Discover discover(input);
        InstallProjectRelease::Execute execute(discover);
        return execute.m_hr;
    }
    QuorTest::TreeSnapshot Actual() const { return InstallTesting::InstalledSnapshot(root); }

    Tools::ContentTree::ContentDescription description;
    QuorTest::TempDir content{"quorserver"};
    QuorTest::FakeRemoteFileServer server{content.path(), "/quor", "xx"};
};

TEST_F(UninstallProjectTest, KeepsWhatTheOtherReleaseListsThenRemovesEverything) {
    QuorTest::LogCapture log;
    ASSERT_EQ(UninstallProjectRelease("alpha", kV2, fileSystem, progress), S_OK) << log.Errors();
    // The second's archived m/f.dat goes (the first uses its managed copy); every copy the first
    // uses stays, m/g.dat too.
    const QuorTest::TreeSnapshot expected =
        QuorTest::ExpectedProjectInstall(description, content.path(), "alpha", kV1);
    EXPECT_EQ(QuorTest::SnapshotDifference(expected, Actual()), "");
    EXPECT_TRUE(log.Has(Log::VERBOSE, "Managed file \"a/t1.bin\":0x01000001 is needed by another release and will not "
                                      "be deleted."));
    EXPECT_TRUE(log.Has(Log::VERBOSE, "Managed file \"m/shared.dat\":0x01000001 is needed by another release and "
                                      "will not be deleted."));
    EXPECT_TRUE(log.Has(Log::VERBOSE, "Managed file \"m/g.dat\":0x01000001 is needed by another release and "
                                      "will not be deleted."));
    EXPECT_TRUE(log.Has(Log::DEBUG, "Deleted unneeded archived file \"m/f.dat\"."));

    log.Clear();
    ASSERT_EQ(UninstallProjectRelease("alpha", kV1, fileSystem, progress), S_OK) << log.Errors();
    EXPECT_FALSE(log.HasError("File \"" + Managed("alpha", kV1, "m/f.dat") + "\" was already deleted."));
    EXPECT_EQ(QuorTest::SnapshotDifference({}, Actual()), "");
}

TEST_F(UninstallProjectTest, AReleaseThatIsNotInstalledLeavesTheTreeAsItWas) {
    const QuorTest::TreeSnapshot before = Actual();
    QuorTest::LogCapture log;
    EXPECT_EQ(UninstallProjectRelease("alpha", V(1, 0, 0, 9), fileSystem, progress), E_FAIL);
    EXPECT_TRUE(log.Has(Log::DEBUG, "Did not find " + ReleaseFolder("alpha", V(1, 0, 0, 9)) + "/S_OK"));
    EXPECT_TRUE(log.HasError("Release is not installed."));
    EXPECT_EQ(QuorTest::SnapshotDifference(before, Actual()), "");

    cancel = 1;
    EXPECT_EQ(UninstallProjectRelease("alpha", kV2, fileSystem, progress), E_ABORT);
    EXPECT_TRUE(log.HasError("Cancellation request detected, aborting"));
    EXPECT_EQ(QuorTest::SnapshotDifference(before, Actual()), "");
}

// Hand-written installed releases: suite 2.0.0.1 {alpha, beta}, suite 2.0.0.2 {alpha},
// other 1.0.0.1 {beta}; every project release at 1.0.0.1.
class UninstallSolutionTest : public InstallTesting::InstallTreeTest {
protected:
    void SetUp() override {
        for (const char* project : {"alpha", "beta"})
            InstallTesting::WriteInstalledProject(root, project, kV1, {{"bin/" + std::string(project), project}});
        InstallTesting::WriteInstalledSolution(root, "suite", V(2, 0, 0, 1), "en_US", {{"alpha", kV1, 5}, {"beta", kV1, 9}});
        InstallTesting::WriteInstalledSolution(root, "suite", V(2, 0, 0, 2), "en_US", {{"alpha", kV1, 5}});
        InstallTesting::WriteInstalledSolution(root, "other", kV1, "main", {{"beta", kV1, 1}});
    }
    bool Installed(const std::string& project) const {
        return QuorTest::Exists(ReleaseFolder(project, kV1) + "/S_OK");
    }
    std::string SolutionFolder(const std::string& solution, DWORD version) const {
        return root + "/solutions/" + solution + "/releases/" + Common::ConvertVersion::ToString(version);
    }
};

TEST_F(UninstallSolutionTest, KeepsProjectReleasesThatAnyOtherSolutionReleaseUses) {
    QuorTest::LogCapture log;
    ASSERT_EQ(UninstallSolutionRelease("suite", V(2, 0, 0, 1), fileSystem, progress), S_OK) << log.Errors();
    EXPECT_FALSE(QuorTest::Exists(SolutionFolder("suite", V(2, 0, 0, 1))));
    EXPECT_TRUE(Installed("alpha"));  // suite 2.0.0.2
    EXPECT_TRUE(Installed("beta"));   // other 1.0.0.1
    EXPECT_TRUE(log.Has(Log::VERBOSE, "Cannot uninstalled project alpha version 16777217 because it still needed"));
    EXPECT_TRUE(log.Has(Log::VERBOSE, "Cannot uninstalled project beta version 16777217 because it still needed"));

    ASSERT_EQ(UninstallSolutionRelease("suite", V(2, 0, 0, 2), fileSystem, progress), S_OK) << log.Errors();
    EXPECT_FALSE(QuorTest::Exists(ReleaseFolder("alpha", kV1)));
    EXPECT_TRUE(log.Has(Log::VERBOSE, "Uninstalled project alpha version 16777217 because it is no longer needed"));
    ASSERT_EQ(UninstallSolutionRelease("other", kV1, fileSystem, progress), S_OK) << log.Errors();
    EXPECT_FALSE(QuorTest::Exists(ReleaseFolder("beta", kV1)));
}

TEST_F(UninstallSolutionTest, AnUnreadableOtherSolutionKeepsTheProjects) {
    ASSERT_EQ(fileSystem.DeleteFile(SolutionFolder("other", kV1) + "/configurationmanifest"), S_OK);
    QuorTest::LogCapture log;
    ASSERT_EQ(UninstallSolutionRelease("suite", V(2, 0, 0, 1), fileSystem, progress), S_OK) << log.Errors();
    EXPECT_TRUE(Installed("beta"));
    EXPECT_TRUE(log.HasError("Failed to read the installed releases of solution other: every project release is kept."));
}

TEST_F(UninstallSolutionTest, AReleaseThatIsNotInstalledLeavesTheTreeAsItWas) {
    const QuorTest::TreeSnapshot before = QuorTest::TakeSnapshot(root);
    QuorTest::LogCapture log;
    EXPECT_EQ(UninstallSolutionRelease("suite", V(2, 0, 0, 9), fileSystem, progress), E_FAIL);
    EXPECT_TRUE(log.HasError("Failed to find and separate the solution information for target"));
    EXPECT_EQ(QuorTest::SnapshotDifference(before, QuorTest::TakeSnapshot(root)), "");
}

// A project release that a complete solution release lists goes only with that solution release:
// removing it alone would leave the solution marked complete over a missing folder.
TEST_F(UninstallSolutionTest, AProjectReleaseThatACompleteSolutionReleaseListsIsKept) {
    struct Case {
        const char* what;
        std::function<void()> prepare;
        const char* project;
        HRESULT result;
        const char* error;  // null: none
    };
    const Case cases[] = {
        {"listed by both suite releases", [] {}, "alpha", E_FAIL,
         "Release 1.0.0.1 of project alpha is part of the installed release 2.0.0.1 of solution suite: uninstall that "
         "solution release instead."},
        {"listed by another solution only",
         [&] { ASSERT_EQ(fileSystem.DeleteFile(SolutionFolder("suite", V(2, 0, 0, 1)) + "/S_OK"), S_OK); }, "beta",
         E_FAIL,
         "Release 1.0.0.1 of project beta is part of the installed release 1.0.0.1 of solution other: uninstall that "
         "solution release instead."},
        {"listed by a solution release whose configuration cannot be read",
         [&] {
             ASSERT_EQ(fileSystem.DeleteFile(SolutionFolder("suite", V(2, 0, 0, 2)) + "/configurationmanifest"), S_OK);
         },
         "alpha", E_FAIL,
         "Release 1.0.0.1 of project alpha is part of the installed release 2.0.0.2 of solution suite: uninstall that "
         "solution release instead."},
        {"listed by incomplete solution releases only",
         [&] {
             ASSERT_EQ(fileSystem.DeleteFile(SolutionFolder("other", kV1) + "/S_OK"), S_OK);
             ASSERT_EQ(fileSystem.DeleteFile(SolutionFolder("suite", V(2, 0, 0, 2)) + "/S_OK"), S_OK);
         },
         "beta", S_OK, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.prepare();
        const QuorTest::TreeSnapshot before = QuorTest::TakeSnapshot(root);
        QuorTest::LogCapture log;
        EXPECT_EQ(UninstallProjectRelease(c.project, kV1, fileSystem, progress), c.result) << log.Errors();
        if (c.error) {
            EXPECT_TRUE(log.HasError(c.error)) << log.Errors();
            EXPECT_EQ(QuorTest::SnapshotDifference(before, QuorTest::TakeSnapshot(root)), "");
        } else {
            EXPECT_FALSE(QuorTest::Exists(ReleaseFolder(c.project, kV1)));
        }
    }
}

TEST(SetLogParametersTest, SetsTheLevelOfWrittenLines) {
    QuorTest::LogCapture log(Log::ERROR);
    EXPECT_EQ(SetLogParameters(4), S_OK);
    QUOR_LOG(Log::VERBOSE, "verbose line");
    EXPECT_TRUE(log.Has("verbose line"));
    EXPECT_EQ(SetLogParameters(0), S_OK);
    QUOR_LOG(Log::ERROR, "error line");
    QUOR_LOG(Log::USER, "user line");
    EXPECT_FALSE(log.Has("error line"));
    EXPECT_TRUE(log.Has("user line"));
}

}  // namespace
}  // namespace Quor::User
