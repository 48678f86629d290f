// Validation of installed solution releases against the in-process content server: the releases
// are installed by the real installation, damaged by hand, validated, and compared with what an
// installation leaves.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "common/testing/LogCapture.h"
#include "install/InstallSolutionRelease.h"
#include "install/InstalledState.h"
#include "tests/kit/content/ExpectedInstall.h"
#include "tests/kit/content/FakeRemoteFileServer.h"
#include "tests/kit/content/InstalledTree.h"
#include "tests/kit/content/SuiteContent.h"
#include "tools/contenttree/ContentTreeBuilder.h"
#include "update/Validate.h"

namespace Quor::User {
namespace {

using InstallTesting::V;
constexpr DWORD kProject = V(1, 0, 0, 1);
constexpr DWORD kSuite = V(2, 0, 0, 1);
constexpr DWORD kSuite2 = V(2, 0, 0, 2);

// Solution "suite" 2.0.0.1 and 2.0.0.2, both of alpha (every kind of entry) and beta (which also
// carries data/z.txt and wins it by priority) in "en_US".
class ValidateSolutionTest : public InstallTesting::InstallTreeTest {
protected:
    void SetUp() override {
        RegisterInstalledStateServices();
        InstallTesting::AddSuiteContent(description, kProject, kSuite);
        InstallTesting::AddSuiteReleaseLike(description, kSuite, kSuite2);
        std::string error;
        ASSERT_TRUE(Tools::ContentTree::BuildContentTree(description, content.path(), error)) << error;
    }

    void Install(DWORD version) {
        signed char never = 0;
        AutoUpdateProgress installing(nullptr, &never, 0);
        const InstallSolutionRelease::InputParameters input{"suite", version, "en_US", fileSystem, server, installing};
        const InstallSolutionRelease::Discover discover(input);
        const InstallSolutionRelease::Execute execute(discover);
        ASSERT_EQ(S_OK, execute.m_hr);
        server.ClearRecords();
    }
    HRESULT Validate() { return ValidateSolution("suite", fileSystem, server, progress); }

    std::set<std::string> FetchedFiles() const {
        std::set<std::string> paths;
        for (const std::string& line : server.RequestLog())
            if (line.find("/files/") != std::string::npos && !line.ends_with("packagemanifest")) paths.insert(line);
        return paths;
    }
    std::string Difference(const std::vector<DWORD>& versions) const {
        QuorTest::TreeSnapshot expected;
        for (DWORD version : versions)
            expected.merge(QuorTest::ExpectedSolutionInstall(description, content.path(), "suite", version, "en_US"));
        return QuorTest::SnapshotDifference(expected, InstallTesting::InstalledSnapshot(root));
    }
    std::string Folder(DWORD version) const {
        return root + "/solutions/suite/releases/" + Common::ConvertVersion::ToString(version);
    }
    std::string Ok(DWORD version) const { return Folder(version) + "/S_OK"; }

    Tools::ContentTree::ContentDescription description;
    QuorTest::TempDir content{"quorserver"};
    QuorTest::FakeRemoteFileServer server{content.path(), "/quor", "xx"};
};

TEST_F(ValidateSolutionTest, ADamagedDeployFileIsCopiedAgainAndADamagedProjectFileFetchedAgain) {
    Install(kSuite);
    const std::string deploy = Folder(kSuite) + "/deploy/";
    QuorTest::WriteFile(deploy + "data/z.txt", "not beta's");
    std::filesystem::remove(deploy + "beta/only.txt");
    QuorTest::WriteFile(Deploy("alpha", kProject, "bin/run.sh"), "#!/bin/sh\nexit 1\n");
    QuorTest::LogCapture log(Log::WARNING);
    EXPECT_EQ(S_OK, Validate()) << log.Errors();
    EXPECT_EQ(std::set<std::string>{"GET /quor/projects/alpha/releases/1.0.0.1/files/bin/run.sh"}, FetchedFiles());
    EXPECT_TRUE(log.Has(Log::WARNING, "File \"" + deploy + "data/z.txt\" MD5 check FAILED!"));
    EXPECT_TRUE(log.Has(Log::WARNING, "File \"" + deploy + "beta/only.txt\" MD5 check FAILED!"));
    EXPECT_EQ("", Difference({kSuite}));
    EXPECT_EQ("beta's z", QuorTest::ReadFile(deploy + "data/z.txt"));
    for (const std::string& ok : {Ok(kSuite), ReleaseFolder("alpha", kProject) + "/S_OK",
                                  ReleaseFolder("beta", kProject) + "/S_OK"})
        EXPECT_TRUE(std::filesystem::exists(ok)) << ok;
}

TEST_F(ValidateSolutionTest, WithoutACompleteReleaseNothingIsValidated) {
    Install(kSuite);
    std::filesystem::remove(Ok(kSuite));
    std::filesystem::remove(Folder(kSuite) + "/deploy/beta/only.txt");
    QuorTest::LogCapture log(Log::DEBUG);
    EXPECT_EQ(S_OK, Validate());
    EXPECT_TRUE(log.Has(Log::USER, "Found 0 installed releases to verify"));
    EXPECT_TRUE(log.Has(Log::DEBUG, "Verification found no installed releases for solution: suite."));
    EXPECT_EQ(std::vector<std::string>{}, server.RequestLog());
    EXPECT_FALSE(std::filesystem::exists(Ok(kSuite)));
}

TEST_F(ValidateSolutionTest, IncompleteReleasesAreCompletedUnlessTheirManifestsCannotBeRead) {
    Install(kSuite);
    Install(kSuite2);
    std::filesystem::remove(Ok(kSuite2));
    std::filesystem::remove(Folder(kSuite2) + "/deploy/bin/run.sh");
    // 2.0.0.3 still holds the manifests of 2.0.0.1 (as a move leaves it before the fetch of its
    // own); 2.0.0.4 holds nothing.
    std::filesystem::copy(Folder(kSuite), Folder(V(2, 0, 0, 3)), std::filesystem::copy_options::recursive);
    std::filesystem::remove(Ok(V(2, 0, 0, 3)));
    std::filesystem::create_directories(Folder(V(2, 0, 0, 4)));
    QuorTest::LogCapture log(Log::WARNING);
    EXPECT_EQ(S_OK, Validate()) << log.Errors();
    EXPECT_TRUE(std::filesystem::exists(Ok(kSuite)));
    EXPECT_TRUE(std::filesystem::exists(Ok(kSuite2)));
    EXPECT_FALSE(std::filesystem::exists(Ok(V(2, 0, 0, 3))));
    EXPECT_FALSE(std::filesystem::exists(Ok(V(2, 0, 0, 4))));
    EXPECT_TRUE(log.HasError("The solution manifest of suite 2.0.0.3 describes suite 2.0.0.1."));
    EXPECT_EQ(std::set<std::string>{}, FetchedFiles());  // the project releases were whole
    std::filesystem::remove_all(Folder(V(2, 0, 0, 3)));
    std::filesystem::remove_all(Folder(V(2, 0, 0, 4)));
    EXPECT_EQ("", Difference({kSuite, kSuite2}));
}

TEST_F(ValidateSolutionTest, ACompleteReleaseWhoseManifestsCannotBeReadFails) {
    Install(kSuite);
    Install(kSuite2);
    std::filesystem::remove(Folder(kSuite) + "/configurationmanifest");
    QuorTest::WriteFile(Deploy("alpha", kProject, "bin/run.sh"), "damaged");
    QuorTest::LogCapture log(Log::ERROR);
    EXPECT_TRUE(FAILED(Validate()));
    EXPECT_TRUE(log.HasError("Failed to read the manifests of solution release 2.0.0.1"));
    EXPECT_TRUE(log.HasError("DoValidation failed"));
    EXPECT_EQ(std::set<std::string>{}, FetchedFiles());  // nothing is done for it, nor after it
    EXPECT_EQ("damaged", QuorTest::ReadFile(Deploy("alpha", kProject, "bin/run.sh")));

    // A project release a complete solution release names must be readable too.
    Install(kSuite);
    std::filesystem::remove(ReleaseFolder("beta", kProject) + "/releasemanifest");
    EXPECT_TRUE(FAILED(Validate()));
}

}  // namespace
}  // namespace Quor::User
