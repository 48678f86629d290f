#include <gtest/gtest.h>

#include "remote/patch/AbstractRunner.h"
#include "remote/patch/JDiffRunner.h"
#include "remote/patch/JPatchRunner.h"
#include "remote/patch/PatchTestSupport.h"
#include "remote/process/ProcessHelper.h"
#include "tests/kit/TempDir.h"

namespace JojoDiff {
namespace {

TEST(PatchResults, ExitCodesTimeOutsAndUnusedRows) {
    using C = JDiffRunner::CreatePatchResult;
    EXPECT_EQ(C::FromExitCode(1).GetIndex(), 1u);
    EXPECT_EQ(C::FromExitCode(7).GetIndex(), 7u);
    for (int code : {8, 9, 255, -1}) EXPECT_EQ(C::FromExitCode(code).GetIndex(), 9u) << code;
    EXPECT_STREQ(C::TimedOut().GetMessage(), "Timed out.");
    EXPECT_EQ(C::TimedOut().GetIndex(), 10u);
    EXPECT_STREQ(C::UnknownError().GetMessage(), "Unknown error.");
    for (unsigned index : {8u, 12u, 1000u}) {
        EXPECT_STREQ(C(index).GetMessage(), "Unknown error.") << index;
        EXPECT_FALSE(C(index).IsSuccess()) << index;
    }
    EXPECT_TRUE(C(0).IsSuccess());
    EXPECT_TRUE(C(1).IsSuccess());
    EXPECT_FALSE(C(2).IsSuccess());

    using A = JPatchRunner::ApplyPatchResult;
    EXPECT_EQ(A::FromExitCode(8).GetIndex(), 8u);
    for (int code : {9, 10, 255, -1}) EXPECT_EQ(A::FromExitCode(code).GetIndex(), 10u) << code;
    EXPECT_STREQ(A::FromExitCode(6).GetMessage(), "64-bit numbers not supported.");
    EXPECT_STREQ(A::TimedOut().GetMessage(), "Timed out.");
    EXPECT_EQ(A::TimedOut().GetIndex(), 11u);
    EXPECT_EQ(A::UnknownError().GetIndex(), 12u);
    for (unsigned index : {9u, 13u, 1000u}) {
        EXPECT_STREQ(A(index).GetMessage(), "Unknown error.") << index;
        EXPECT_FALSE(A(index).IsSuccess()) << index;
    }
    EXPECT_TRUE(A(0).IsSuccess());
    EXPECT_FALSE(A(1).IsSuccess());
}

class SlowTool : public AbstractRunner {
public:
    const char* GetToolName() const override { return "quor_slowtool"; }
};

// A run with a time-out that the tool outlasts reports timed out and asks the tool to end.
TEST(AbstractRunner, TimedOutToolIsAskedToEnd) {
    QuorTest::QuorTree tree;
    PatchTest::LogRecorder log;
    PatchTest::InstallTool("/bin/sleep", tree.system(), "quor_slowtool");
    SlowTool runner;
    EXPECT_EQ(runner.GetToolPath(), tree.root() + "system/quor_slowtool");
    std::vector<const char*> arguments = {"30"};
    Vorn::ProcessExitCode code = -1;
    EXPECT_EQ(runner.Run(arguments, 300, code), AbstractRunner::RUN_TIMED_OUT);
    EXPECT_EQ(code, -1);
    EXPECT_TRUE(log.Has("VERBOSE|Waiting for 'quor_slowtool' to finish (timeout=300 milliseconds)."));
    EXPECT_TRUE(Quor::Common::ProcessHelper::WaitForProcessesToExit("quor_slowtool", 10000));

    // A tool that ends in time is read normally; an empty handle is neither waited for nor read.
    std::vector<const char*> brief = {"0"};
    EXPECT_EQ(runner.Run(brief, 10000, code), AbstractRunner::RUN_EXITED);
    EXPECT_EQ(code, 0);
    Vorn::AutoProcessHandle empty;
    EXPECT_EQ(runner.WaitToFinish(empty, 100), 0);
    EXPECT_EQ(runner.GetExitCode(code, empty), Vorn::GetExitCodeResult::InvalidHandle);
}

}  // namespace
}  // namespace JojoDiff
