// The kernel's validation requests end to end: a raw client, the request server and the handlers
// on the engine of this build, against nginx serving a content tree made by the content-tree
// builder. A project and a solution are installed through the kernel, damaged by hand and
// validated; the tree then equals what the installation left, with only the damaged project file
// fetched again.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/testing/LogCapture.h"
#include "install/InstalledState.h"
#include "kernel/testing/KernelClient.h"
#include "kernel/testing/TestKernel.h"
#include "tests/kit/NginxServer.h"
#include "tests/kit/TempDir.h"
#include "tests/kit/content/ExpectedInstall.h"
#include "tests/kit/content/InstalledTree.h"
#include "tests/kit/content/SuiteContent.h"
#include "tools/contenttree/ContentTreeBuilder.h"

namespace {

using namespace Quor::OrvaneProtocol;
using QuorTest::RecordedCall;

constexpr DWORD kV1 = 0x01000001;     // 1.0.0.1
constexpr DWORD kSuite = 0x02000001;  // 2.0.0.1

TEST(ValidateRequests, AProjectAndASolutionAreValidatedWithProgressAndMendedFromTheServer) {
    QuorTest::UseOwnInstance();
    Quor::User::RegisterInstalledStateServices();
    QuorTest::LogCapture quiet{Quor::Log::USER};
    QuorTest::QuorTree tree;
    QuorTest::TempDir content{"quorcontent"};
    Quor::Tools::ContentTree::ContentDescription description;
    InstallTesting::AddSuiteContent(description, kV1, kSuite);
    std::string error;
    ASSERT_TRUE(Quor::Tools::ContentTree::BuildContentTree(description, content.path(), error)) << error;
    QuorTest::NginxServer nginx(content.path());
    ASSERT_TRUE(nginx.started());
    tree.WriteSystemConfig(nginx.baseUrl(), "/quor", "xx");
    QuorTest::TestKernel kernel(QuorTest::TestKernel::Handlers(nullptr));
    ASSERT_EQ(S_OK, kernel.hr);
    QuorTest::KernelClient client(kernel.port);

    DWORD id = 0;
    size_t reports = 0;
    // The answer to one request, counting the progress reports before it.
    const auto ask = [&](const std::function<void(IAppToOrvane&)>& request) {
        reports = 0;
        EXPECT_TRUE(client.Request(request));
        for (;;) {
            const auto call = client.Next();
            if (!call) return RecordedCall();
            if (call->operation != "RequestProgress") return *call;
            ++reports;
        }
    };
    const auto fetched = [&](size_t from) {
        std::vector<std::string> uris;
        const auto log = nginx.accessLog();
        for (size_t i = from; i < log.size(); ++i)
            if (log[i].uri.find("/files/") != std::string::npos && !log[i].uri.ends_with("packagemanifest"))
                uris.push_back(log[i].uri);
        return uris;
    };

    ++id;
    ASSERT_EQ(RecordedCall("InstallSolutionReleaseResponse", 0, id).Result(S_OK).Word(kSuite),
              ask([&](IAppToOrvane& s) { s.InstallSolutionReleaseRequest(0, id, "suite", kSuite, "en_US"); }));
    const QuorTest::TreeSnapshot installed = InstallTesting::InstalledSnapshot(tree.root());
    EXPECT_EQ("", QuorTest::SnapshotDifference(
                      QuorTest::ExpectedSolutionInstall(description, content.path(), "suite", kSuite, "en_US"),
                      installed));

    const std::string alpha = tree.root() + "projects/alpha/";
    const std::string suiteDeploy = tree.root() + "solutions/suite/releases/2.0.0.1/deploy/";
    QuorTest::WriteFile(alpha + "managedfiles/1.0.0.1/m/shared.dat", "damaged");
    size_t before = nginx.accessLog().size();
    ++id;
    EXPECT_EQ(RecordedCall("ValidateProjectResponse", 0, id).Result(S_OK),
              ask([&](IAppToOrvane& s) { s.ValidateProjectRequest(0, id, "alpha"); }));
    EXPECT_GT(reports, 0u);
    EXPECT_EQ(std::vector<std::string>{"/quor/projects/alpha/releases/1.0.0.1/files/m/shared.dat"}, fetched(before));
    EXPECT_EQ("", QuorTest::SnapshotDifference(installed, InstallTesting::InstalledSnapshot(tree.root())));

    QuorTest::WriteFile(suiteDeploy + "data/z.txt", "damaged");
    std::filesystem::remove(alpha + "releases/1.0.0.1/deploy/bin/run.sh");
    before = nginx.accessLog().size();
    ++id;
    EXPECT_EQ(RecordedCall("ValidateSolutionResponse", 0, id).Result(S_OK),
              ask([&](IAppToOrvane& s) { s.ValidateSolutionRequest(0, id, "suite"); }));
    EXPECT_GT(reports, 0u);
    EXPECT_EQ(std::vector<std::string>{"/quor/projects/alpha/releases/1.0.0.1/files/bin/run.sh"}, fetched(before));
    EXPECT_EQ("", QuorTest::SnapshotDifference(installed, InstallTesting::InstalledSnapshot(tree.root())));

    // A name that could leave its folder is refused before any validation.
    ++id;
    EXPECT_EQ(RecordedCall("ValidateProjectResponse", 0, id).Result(E_FAIL),
              ask([&](IAppToOrvane& s) { s.ValidateProjectRequest(0, id, "../alpha"); }));
}

}  // namespace
