// The kernel's UpdateSolution request end to end: a raw client, the request server and the handlers
// on the engine of this build, against nginx serving a content tree made by the content-tree
// builder. The first request installs the newest release; once the server offers a newer one, the
// next updates the installed release in place to it.
#include <gtest/gtest.h>

#include "common/testing/LogCapture.h"
#include "install/InstalledState.h"
#include "kernel/testing/KernelClient.h"
#include "kernel/testing/TestKernel.h"
#include "tests/kit/NginxServer.h"
#include "tests/kit/TempDir.h"
#include "tests/kit/content/ExpectedInstall.h"
#include "tests/kit/content/InstalledTree.h"
#include "tools/contenttree/ContentTreeBuilder.h"

namespace {

using namespace Quor::OrvaneProtocol;
using QuorTest::RecordedCall;
using Quor::Tools::ContentTree::ReleaseSpec;

constexpr DWORD kV1 = 0x01000001;
constexpr DWORD kV2 = 0x01000002;
constexpr DWORD kSuite1 = 0x02000001;
constexpr DWORD kSuite2 = 0x02000002;

class UpdateSolutionRequest : public ::testing::Test {
protected:
    void SetUp() override {
        QuorTest::UseOwnInstance();
        Quor::User::RegisterInstalledStateServices();
        ReleaseSpec& alpha = description.AddProject("alpha").AddRelease(kV1, {"xx"});
        alpha.AddFile("bin/run.sh", 0, "#!/bin/sh\necho one\n");
        alpha.AddFile("data/z.txt", 0x04, std::string(30000, 'z'));
        alpha.AddFile("m/shared.dat", 0x01, "managed");
        alpha.AddFile("a/t1.bin", 0x06, std::string(5000, 't'));
        ReleaseSpec& suite = description.AddSolution("suite").AddRelease(kSuite1, {"xx"});
        suite.projects = {{"alpha", kV1, 5, 0}};
        suite.configurations = {{"en_US", {"alpha"}}};
        Build();
        nginx = std::make_unique<QuorTest::NginxServer>(content.path());
        ASSERT_TRUE(nginx->started());
        tree.WriteSystemConfig(nginx->baseUrl(), "/quor", "xx");
        kernel = std::make_unique<QuorTest::TestKernel>(QuorTest::TestKernel::Handlers(nullptr));
        ASSERT_EQ(S_OK, kernel->hr);
        client = std::make_unique<QuorTest::KernelClient>(kernel->port);
    }
    void Build() {
        std::string error;
        ASSERT_TRUE(Quor::Tools::ContentTree::BuildContentTree(description, content.path(), error)) << error;
    }
    RecordedCall Update(DWORD id) {
        EXPECT_TRUE(client->Request([&](IAppToOrvane& s) { s.UpdateSolutionRequest(0, id, "suite", "en_US"); }));
        for (;;) {
            auto call = client->Next();
            if (!call) {
                ADD_FAILURE() << "no answer";
                return RecordedCall();
            }
            if (call->operation != "RequestProgress") return *call;
        }
    }
    QuorTest::TreeSnapshot Expected(DWORD version) const {
        return QuorTest::ExpectedSolutionInstall(description, content.path(), "suite", version, "en_US");
    }

    QuorTest::LogCapture quiet{Quor::Log::USER};
    QuorTest::QuorTree tree;
    QuorTest::TempDir content{"quorcontent"};
    Quor::Tools::ContentTree::ContentDescription description;
    std::unique_ptr<QuorTest::NginxServer> nginx;
    std::unique_ptr<QuorTest::TestKernel> kernel;
    std::unique_ptr<QuorTest::KernelClient> client;
};

TEST_F(UpdateSolutionRequest, InstallsTheNewestReleaseThenUpdatesItInPlace) {
    EXPECT_EQ(RecordedCall("UpdateSolutionResponse", 0, 1).Result(S_OK).Word(kSuite1), Update(1));
    EXPECT_EQ(QuorTest::SnapshotDifference(Expected(kSuite1), InstallTesting::InstalledSnapshot(tree.root())), "");

    ReleaseSpec& alpha = description.projects.front().AddRelease(kV2, {"xx"});
    alpha.files = description.projects.front().FindRelease(kV1)->files;
    alpha.files.front() = {"bin/run.sh", kV2, 0, "#!/bin/sh\necho two\n"};
    ReleaseSpec& suite = description.solutions.front().AddRelease(kSuite2, {"xx"});
    suite.projects = {{"alpha", kV2, 5, 0}};
    suite.configurations = {{"en_US", {"alpha"}}};
    Build();

    EXPECT_EQ(RecordedCall("UpdateSolutionResponse", 0, 2).Result(S_OK).Word(kSuite2), Update(2));
    // The release moved: only the new one is left, with the new project release alone.
    EXPECT_EQ(QuorTest::SnapshotDifference(Expected(kSuite2), InstallTesting::InstalledSnapshot(tree.root())), "");
}

}  // namespace
