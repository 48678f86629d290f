// The verification of the kernel's folder when its list cannot be rewritten: five attempts a
// second apart, then the failure box; the start goes on. A verification puts nothing staged in
// place (only the staged kernel of an update does).
#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "foundation/OsContext.h"
#include "foundation/testing/FaultInjectingFileSystem.h"
#include "kernel/Application.h"
#include "platform/FakeShell.h"
#include "platform/ManualClock.h"
#include "tests/kit/TempDir.h"

namespace {

TEST(VerifyFiles, AListThatCannotBeRewrittenIsReportedAndTheStartGoesOn) {
    QuorTest::QuorTree tree;
    // Every rename onto the list fails, as on a disk that went read-only.
    QuorTest::FaultInjectingFileSystem faults;
    const size_t renames = faults.Fail(QuorTest::FileCall::Rename, QuorTest::PathMatch::EndingWith("/system/filelist.versioninfo"),
                                       EROFS, QuorTest::FaultInjectingFileSystem::kEvery);
    Vorn::ScopedOsContext os({.files = &faults});
    QuorTest::WriteFile(tree.system() + "/temp/filelist.versioninfo", "tool,2\n");
    QuorTest::WriteFile(tree.system() + "/temp/tool", "new");
    Quor::Platform::FakeShell shell;
    Quor::Platform::SetShellForTests(&shell);
    const char* argv[] = {"Orvane"};
    Quor::Orvane::Application application(1, argv);
    Quor::Platform::ManualClock clock;
    const unsigned others = clock.Waiters();

    HRESULT hr = E_FAIL;
    std::thread verify([&] {
        bool terminate = false;
        hr = application.VerifyFiles(false, terminate);
    });
    for (int pause = 0; pause < 4; ++pause) {
        clock.AwaitWaiters(others + 1);
        clock.AdvanceMilliseconds(1000);
    }
    verify.join();
    Quor::Platform::SetShellForTests(nullptr);
    EXPECT_EQ(S_OK, hr);
    EXPECT_EQ(faults.Failed(renames), 5u) << "five attempts to write the list";
    EXPECT_FALSE(QuorTest::Exists(tree.system() + "/tool"));
    const auto calls = shell.Calls();
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ(0u, calls[0].rfind("MessageBox:", 0));
}

}  // namespace
