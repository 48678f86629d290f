// What another user of the machine (nobody) plants for a kernel run by root: links and a FIFO at
// the log's names in a {root} that others may write, and the instance semaphore made in the
// kernel's place. The kernel follows no link, waits for no FIFO, warns of the exposed folder,
// serves in spite of the planted semaphore, and a kernel that cannot take its semaphore does not
// pretend to stay resident.
#include <semaphore.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "foundation/Semaphore.h"
#include "foundation/SharedMutex.h"
#include "kernel/KernelThread.h"
#include "tests/kit/OtherUserChild.h"
#include "tests/orvane/KernelServing.h"
#include "tests/orvane/OrvaneTest.h"

namespace OrvaneTest {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSetpriv = "/usr/bin/setpriv";
constexpr const char* kExposedWarning = "can be changed by other users of this machine";

class OtherUserPlantsTest : public OrvaneTest {
protected:
    void SetUp() override {
        OrvaneTest::SetUp();
        if (!QuorTest::RunsAsRoot()) GTEST_SKIP() << "needs root: the kernel runs as root and the test plays user nobody";
    }
    // {root}'s base passable by everyone.
    void OpenBase() const {
        fs::permissions(root->base(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                          fs::perms::others_read | fs::perms::others_exec);
    }
    // {root} writable by everyone, as a careless installation leaves it.
    void ExposeRoot() const {
        OpenBase();
        fs::permissions(root->root(), fs::perms::all);
    }
};

TEST_F(OtherUserPlantsTest, TheLogFollowsNoLinkAndWaitsForNoFifoAnotherUserPlanted) {
    ServeNothing();
    const std::string log = root->root() + "/quor_orvane.log";
    const std::string secondary = log + ".secondary";
    const std::string victim = outside / "victim";
    const std::string secondVictim = outside / "second-victim";
    const struct {
        const char* what;
        bool linkAtLog, linkAtSecondary, fifoAtLog;
    } plants[] = {
        {"a link at the log", true, false, false},
        {"links at the log and at its .secondary", true, true, false},
        {"a FIFO at the log", false, false, true},
    };
    for (const auto& plant : plants) {
        std::error_code ignored;
        for (const std::string& path : {log, secondary, victim, secondVictim}) fs::remove(path, ignored);
        ExposeRoot();
        QuorTest::OtherUserChild nobody([&](int report) {
            bool done = true;
            if (plant.linkAtLog) done = done && ::symlink(victim.c_str(), log.c_str()) == 0;
            if (plant.linkAtSecondary) done = done && ::symlink(secondVictim.c_str(), secondary.c_str()) == 0;
            if (plant.fifoAtLog) done = done && ::mkfifo(log.c_str(), 0666) == 0;
            if (done) (void)!::write(report, "planted", 7);
            ::close(report);
        });
        ASSERT_EQ("planted", nobody.Await()) << plant.what;

        QuorTest::OrvaneRun run(*root, {"-noupdate", "help"});
        ASSERT_TRUE(run.started()) << plant.what;
        EXPECT_EQ(0, run.Wait(60)) << plant.what << "\n" << run.Stderr();
        EXPECT_FALSE(fs::exists(fs::symlink_status(victim))) << plant.what << ": the log followed the link";
        EXPECT_FALSE(fs::exists(fs::symlink_status(secondVictim))) << plant.what << ": the log followed the link";
        std::string lines = run.Stdout();
        if (fs::is_regular_file(fs::symlink_status(secondary))) lines += QuorTest::ReadFile(secondary);
        EXPECT_TRUE(Has(lines, kExposedWarning)) << plant.what << "\n" << lines;
        EXPECT_TRUE(Has(lines, "Quor content kernel Orvane")) << plant.what << "\n" << lines;
    }
}

// As the process scope counts only this user's kernels, only this user's semaphore stands for one:
// nobody re-creates the name whenever root's kernel removes it, and every start still serves.
TEST_F(OtherUserPlantsTest, ASemaphoreAnotherUserKeepsMakingCannotStandForARunningKernel) {
    ServeNothing();
    const std::string name = "/" + Vorn::InstanceName(Quor::Orvane::KernelThread::kInstanceMutexName);
    const std::string stop = outside / "stop-planting";
    fs::permissions(outside.path(), fs::perms::all);
    QuorTest::OtherUserChild nobody([&](int report) {
        sem_t* first = sem_open(name.c_str(), O_CREAT, 0666, 1u);
        if (first != SEM_FAILED) {
            sem_close(first);
            (void)!::write(report, "planted", 7);
        }
        ::close(report);
        for (int i = 0; i < 600000 && ::access(stop.c_str(), F_OK) != 0; ++i) {
            sem_t* again = sem_open(name.c_str(), O_CREAT, 0666, 1u);
            if (again != SEM_FAILED) sem_close(again);
            ::usleep(200);
        }
    });
    // Ends the planting on every way out, before the child is waited for.
    struct StopPlanting {
        std::string path;
        ~StopPlanting() { QuorTest::WriteFile(path, ""); }
    } stopPlanting{stop};
    ASSERT_EQ("planted", nobody.Await());
    for (int start = 1; start <= 3; ++start) {
        QuorTest::OrvaneRun resident(*root, {"-noupdate", "-tsr", "noop"});
        ASSERT_TRUE(WaitServing(resident, port)) << "start " << start << "\n" << resident.Stderr();
        std::string errors;
        EXPECT_EQ(0, QuorTest::RunOrvane(*root, {"-noupdate", "stopkernel"}, {}, &errors)) << errors;
        EXPECT_EQ(0, resident.Wait()) << "start " << start;
    }
}

// A kernel run by nobody while root's semaphore stands cannot take it: asked to stay resident, it
// ends with a failure instead of an exit of 0 that no server backs.
TEST_F(OtherUserPlantsTest, AResidentKernelThatCannotTakeItsSemaphoreEndsWithAFailure) {
    if (::access(kSetpriv, X_OK) != 0) GTEST_SKIP() << "needs " << kSetpriv << " to play user nobody";
    ServeNothing();
    auto planted = Vorn::SharedMutex::Create(Quor::Orvane::KernelThread::kInstanceMutexName);
    ASSERT_TRUE(planted && planted->IsValid());
    OpenBase();
    for (const auto& entry : fs::recursive_directory_iterator(root->root()))
        ASSERT_EQ(0, ::lchown(entry.path().c_str(), QuorTest::kNobodyUid, QuorTest::kNobodyGid)) << entry.path();
    ASSERT_EQ(0, ::chown(root->root().c_str(), QuorTest::kNobodyUid, QuorTest::kNobodyGid));

    QuorTest::OrvaneRun run(kSetpriv, root->system(),
                            {"--reuid=nobody", "--regid=nogroup", "--clear-groups", root->kernel(), "-noupdate",
                             "-tsr", "noop"});
    ASSERT_TRUE(run.started());
    EXPECT_EQ(255, run.Wait(60)) << run.Stderr();
    EXPECT_TRUE(Has(Log(), "is another user's and cannot be replaced")) << Log();
}

}  // namespace
}  // namespace OrvaneTest
