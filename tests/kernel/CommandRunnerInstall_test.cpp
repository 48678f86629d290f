// The command runner as the kernel's own client against a real content server: a command-line
// install crosses the loopback protocol to the request server, whose engine installs the release.
#include <gtest/gtest.h>

#include <cstdlib>

#include "common/testing/LogCapture.h"
#include "foundation/Semaphore.h"
#include "foundation/WaitResult.h"
#include "kernel/UserCommandThread.h"
#include "kernel/testing/TestKernel.h"
#include "tests/kit/NginxServer.h"
#include "tests/kit/TempDir.h"
#include "tools/contenttree/ContentTreeBuilder.h"

namespace {

TEST(CommandRunnerInstall, InstallProjectReleaseInstallsTheReleaseThroughTheKernel) {
    QuorTest::UseOwnInstance();
    QuorTest::LogCapture log(Quor::Log::USER);  // outlives the kernel's threads
    QuorTest::QuorTree tree;
    QuorTest::TempDir content;
    Quor::Tools::ContentTree::ContentDescription description;
    auto& project = description.AddProject("kiv_launcher");
    project.AddRelease(0x00000001, {"us"}).AddFile("KivLauncher.app/Contents/MacOS/KivLauncher", 0, "#!/bin/sh\nexit 3\n");
    project.AddRelease(0x00000002, {"us"}).AddFile("KivLauncher.app/Contents/MacOS/KivLauncher", 0, "#!/bin/sh\nexit 4\n");
    std::string error;
    ASSERT_TRUE(Quor::Tools::ContentTree::BuildContentTree(description, content.path(), error)) << error;
    QuorTest::NginxServer nginx(content.path());
    ASSERT_TRUE(nginx.started());
    tree.WriteSystemConfig(nginx.baseUrl(), "/quor", "us");
    QuorTest::TestKernel kernel(QuorTest::TestKernel::Handlers(nullptr));
    ASSERT_EQ(kernel.hr, S_OK);
    ::setenv("ORVANE_PORT", std::to_string(kernel.port).c_str(), 1);

    HRESULT hr = E_FAIL;
    {
        Quor::Orvane::UserCommandThread runner({"InstallProjectRelease", "Kiv_Launcher", "0.0.0.2"}, 0, hr);
        ASSERT_EQ(hr, S_OK);
        ASSERT_EQ(Vorn::threadJoin(runner.GetThread(), Vorn::INFINITE), Vorn::WAIT_OBJECT_0);
        EXPECT_EQ(runner.GetResult(), S_OK) << log.All();
    }
    EXPECT_TRUE(log.Has(Quor::Log::USER, "Succeeded")) << log.All();
    const std::string release = tree.root() + "projects/kiv_launcher/releases/0.0.0.2/";
    EXPECT_TRUE(QuorTest::Exists(release + "S_OK"));
    EXPECT_EQ(QuorTest::ReadFile(release + "deploy/KivLauncher.app/Contents/MacOS/KivLauncher"), "#!/bin/sh\nexit 4\n");
    Vorn::Semaphore::Cleanup(Quor::Orvane::KernelThread::kInstanceMutexName);
}

}  // namespace
