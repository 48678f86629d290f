#include "foundation/SharedMutex.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "foundation/WaitResult.h"
#include "tests/kit/ObservedState.h"
#include "tests/kit/TempDir.h"

using namespace Vorn;
using Clock = std::chrono::steady_clock;

namespace {

std::string UniqueName(const char* tag) { return "vorn_test_" + std::to_string(getpid()) + "_" + tag; }
bool NameExists(const std::string& name) { return QuorTest::Exists("/dev/shm/sem." + InstanceName(name.c_str())); }

// A child process that runs body and exits with its result; pipes carry one byte each way.
class Child {
public:
    explicit Child(const std::function<int(Child&)>& body) {
        if (pipe(m_toChild) != 0 || pipe(m_toParent) != 0) ADD_FAILURE() << "pipe failed";
        m_pid = fork();
        if (m_pid == 0) {
            m_inChild = true;
            const int code = body(*this);
            _exit(code);
        }
    }
    ~Child() {
        if (m_pid > 0) Wait();
        for (int fd : {m_toChild[0], m_toChild[1], m_toParent[0], m_toParent[1]}) close(fd);
    }
    void Tell(char c) { (void)!write(m_inChild ? m_toParent[1] : m_toChild[1], &c, 1); }
    char Hear() {
        char c = 0;
        return read(m_inChild ? m_toChild[0] : m_toParent[0], &c, 1) == 1 ? c : 0;
    }
    int Wait() {
        int status = 0;
        if (m_pid > 0 && waitpid(m_pid, &status, 0) == m_pid) m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

private:
    pid_t m_pid = -1;
    bool m_inChild = false;
    int m_toChild[2] = {-1, -1};
    int m_toParent[2] = {-1, -1};
};

double ThreadCpuSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

}  // namespace

TEST(SharedMutex, FindOfAnUnknownNameIsInvalidAndLeavesNothing) {
    const std::string name = UniqueName("unknown");
    auto probe = SharedMutex::Find(name.c_str());
    ASSERT_TRUE(probe);
    EXPECT_FALSE(probe->IsValid());
    EXPECT_FALSE(probe->TryLock(0));
    probe.reset();
    EXPECT_FALSE(NameExists(name));
}

TEST(SharedMutex, TwoProcessesShareOneMutex) {
    const std::string name = UniqueName("shared");
    Child child([&](Child& self) {
        auto mine = SharedMutex::Create(name.c_str());
        if (!mine->IsValid() || !mine->Lock()) return 1;
        self.Tell('L');  // created and held
        if (self.Hear() != 'U') return 2;
        mine->Unlock();
        if (self.Hear() != 'E') return 3;  // the parent took it: end, removing the name
        return 0;
    });
    ASSERT_EQ(child.Hear(), 'L');
    auto found = SharedMutex::Find(name.c_str());
    ASSERT_TRUE(found->IsValid()) << "the name made by the other process must be found";
    EXPECT_FALSE(found->TryLock(0)) << "held by the other process";
    EXPECT_FALSE(found->TryLock(200));
    child.Tell('U');
    EXPECT_TRUE(found->TryLock(INFINITE)) << "released by the other process";
    child.Tell('E');
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_FALSE(NameExists(name)) << "the creating process removed the name";
    EXPECT_TRUE(found->Unlock());
}

// A held mutex makes TryLock wait out its time asleep, and a time-out of INFINITE waits for the
// release instead of giving up at once.
TEST(SharedMutex, TryLockSleepsUntilReleaseOrTimeOut) {
    const std::string name = UniqueName("trylock");
    auto mutex = SharedMutex::Create(name.c_str());
    ASSERT_TRUE(mutex->IsValid());
    ASSERT_TRUE(mutex->Lock());

    const double cpuBefore = ThreadCpuSeconds();
    const auto start = Clock::now();
    EXPECT_FALSE(mutex->TryLock(1000));
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(900));
    EXPECT_LT(ThreadCpuSeconds() - cpuBefore, 0.3) << "TryLock must not spin while it waits";

    // The other process releases the mutex once this one waits for it (its thread blocked on the
    // semaphore).
    Child releaser([&](Child& self) {
        auto other = SharedMutex::Find(name.c_str());
        if (!other->IsValid()) return 1;
        self.Tell('R');
        if (self.Hear() != 'U') return 3;
        return other->Unlock() ? 0 : 2;
    });
    ASSERT_EQ(releaser.Hear(), 'R');
    const std::vector<pid_t> before = QuorTest::ThreadIds();
    std::atomic<bool> locked{false};
    std::thread waiter([&] { locked = mutex->TryLock(INFINITE); });
    const bool waiting = QuorTest::AwaitNewThreadsInConditionWait(before, 1);
    releaser.Tell('U');
    waiter.join();
    EXPECT_TRUE(waiting) << "TryLock never waited";
    EXPECT_TRUE(locked.load());
    EXPECT_EQ(releaser.Wait(), 0);
    EXPECT_TRUE(mutex->Unlock());
}
