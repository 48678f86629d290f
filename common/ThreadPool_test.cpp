// Thread pool and cooperative tasks: worker reuse, results, cancellation between steps, and jobs
// that do not stop in time (given up on, never reused, the pool still serves the next job).
#include "common/ThreadPool.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "common/Lock.h"
#include "common/ThreadedCooperativeTask.h"
#include "foundation/EventMultiWaitable.h"
#include "foundation/WaitResult.h"
#include "platform/ManualClock.h"

using Quor::Common::ICooperativeTask;
using Quor::Common::ThreadedCooperativeTask;
namespace TP = Quor::Common::ThreadPool;

namespace {

// A job that records the thread it ran on and, when asked, waits for a gate first.
struct Job {
    std::atomic<pthread_t> thread{};
    std::atomic<bool> ran{false};
    std::atomic<bool> finished{false};
    std::atomic<bool>* gate = nullptr;
    DWORD value = 0;

    static DWORD Run(void* argument) {
        auto* job = static_cast<Job*>(argument);
        job->thread = pthread_self();
        job->ran = true;
        while (job->gate && !job->gate->load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        job->finished = true;
        return job->value;
    }
};

void WaitFor(const std::atomic<bool>& flag) {
    while (!flag) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

int ThreadCount() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.') ++count;
        closedir(dir);
    }
    return count;
}

// A cooperative task that answers a script of values, one per step, then the last one again.
class ScriptedTask final : public ICooperativeTask {
public:
    explicit ScriptedTask(std::vector<DWORD> script) : m_Script(std::move(script)) {}
    DWORD DoWork(DWORD budget) override {
        lastBudget = budget;
        const size_t step = steps++;
        if (block) WaitFor(release);
        const DWORD answer = m_Script[step < m_Script.size() ? step : m_Script.size() - 1];
        returned = true;  // the last touch of this object: a waiter on it may destroy it
        return answer;
    }
    std::atomic<size_t> steps{0};
    std::atomic<DWORD> lastBudget{0};
    std::atomic<bool> block{false};
    std::atomic<bool> release{false};
    std::atomic<bool> returned{false};

private:
    std::vector<DWORD> m_Script;
};

}  // namespace

TEST(ThreadPool, ReleasedWorkerRunsTheNextJobAndReturnsItsValue) {
    auto pool = TP::CreatePool(0, 0);
    Job first, second;
    first.value = 7;
    auto handle = pool->CreateThread(&Job::Run, &first);
    ASSERT_EQ(handle->GetLastError(), S_OK);
    EXPECT_EQ(pool->GetLastError(), S_OK);
    ASSERT_EQ(handle->GetDoneExecuteEventHandle()->Wait(10000), Vorn::WAIT_OBJECT_0);
    EXPECT_EQ(handle->GetReturnValue(), 7u);
    handle.reset();
    handle = pool->CreateThread(&Job::Run, &second);
    ASSERT_EQ(handle->GetDoneExecuteEventHandle()->Wait(10000), Vorn::WAIT_OBJECT_0);
    EXPECT_TRUE(pthread_equal(first.thread, second.thread));
}

TEST(ThreadPool, WorkerReleasedWhileItsJobRunsIsNotHandedTheNextJob) {
    auto pool = TP::CreatePool(0, 0);
    std::atomic<bool> gate{false};
    Job stuck, next;
    stuck.gate = &gate;
    auto handle = pool->CreateThread(&Job::Run, &stuck);
    WaitFor(stuck.ran);
    handle.reset();  // released too early: the worker must not go back to the pool
    auto nextHandle = pool->CreateThread(&Job::Run, &next);
    ASSERT_EQ(nextHandle->GetDoneExecuteEventHandle()->Wait(10000), Vorn::WAIT_OBJECT_0);
    EXPECT_TRUE(next.finished);
    EXPECT_FALSE(pthread_equal(stuck.thread, next.thread));
    EXPECT_FALSE(stuck.finished);
    gate = true;
    WaitFor(stuck.finished);
}

TEST(ThreadPool, DestroyingThePoolEndsItsIdleWorkers) {
    // ThreadSanitizer starts a thread of its own at the first thread the process makes: make one
    // first, so that it is counted in before.
    std::thread([] {}).join();
    const int before = ThreadCount();
    {
        auto pool = TP::CreatePool(0, 0);
        std::atomic<bool> gate{false};
        Job jobs[3];
        std::vector<std::shared_ptr<TP::IThread>> handles;
        for (Job& job : jobs) {
            job.gate = &gate;
            handles.push_back(pool->CreateThread(&Job::Run, &job));
        }
        for (Job& job : jobs) WaitFor(job.ran);
        EXPECT_EQ(ThreadCount(), before + 3);
        gate = true;
        for (auto& h : handles) ASSERT_EQ(h->GetDoneExecuteEventHandle()->Wait(10000), Vorn::WAIT_OBJECT_0);
        handles.clear();  // all three idle now
    }
    // A joined thread may still be listed for a moment while the system reaps it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (ThreadCount() != before && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(ThreadCount(), before);
}

TEST(ThreadPool, JobsStartedAndReleasedFromSeveralThreadsAllRun) {
    auto pool = TP::CreatePool(0, 0);
    std::atomic<int> done{0};
    std::vector<std::thread> starters;
    for (int t = 0; t < 4; ++t) {
        starters.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                Job job;
                job.value = static_cast<DWORD>(i);
                auto handle = pool->CreateThread(&Job::Run, &job);
                ASSERT_EQ(handle->GetLastError(), S_OK);
                ASSERT_EQ(handle->GetDoneExecuteEventHandle()->Wait(10000), Vorn::WAIT_OBJECT_0);
                EXPECT_EQ(handle->GetReturnValue(), static_cast<DWORD>(i));
                ++done;
            }
        });
    }
    for (auto& starter : starters) starter.join();
    EXPECT_EQ(done.load(), 800);
}

TEST(ThreadedCooperativeTask, EndsWithTheResultOfItsSteps) {
    auto pool = TP::CreatePool(0, 0);
    const struct {
        std::vector<DWORD> script;
        HRESULT result;
        size_t steps;
    } cases[] = {
        {{ICooperativeTask::kDone}, S_OK, 1},
        {{ICooperativeTask::kFailed}, E_FAIL, 1},
        {{0, 0, ICooperativeTask::kDone}, S_OK, 3},
        {{0, ICooperativeTask::kFailed}, E_FAIL, 2},
    };
    for (const auto& c : cases) {
        ScriptedTask task(c.script);
        ThreadedCooperativeTask runner(task, pool, 4096);
        // A failure recorded by the worker is reported by the wait, not hidden.
        EXPECT_EQ(runner.WaitUntilComplete(), c.result);
        EXPECT_EQ(runner.GetAutoLockResult()->GetResult(), c.result);
        EXPECT_EQ(task.steps.load(), c.steps);
        EXPECT_EQ(task.lastBudget.load(), 4096u);
    }
}

TEST(ThreadedCooperativeTask, CancelStopsBetweenStepsAndKeepsTheResult) {
    Quor::Platform::ManualClock clock;
    auto pool = TP::CreatePool(0, 0);
    // Two more steps would follow the first, which is held until Cancel waits for it.
    ScriptedTask task({ICooperativeTask::kMoreWork, ICooperativeTask::kMoreWork, ICooperativeTask::kDone});
    task.block = true;
    ThreadedCooperativeTask runner(task, pool, 1);
    while (task.steps == 0) std::this_thread::yield();
    std::thread canceller([&] { runner.Cancel(); });
    clock.AwaitWaiters(1);  // the cancel flag is set and Cancel waits for the running step
    task.release = true;
    canceller.join();  // the worker's job has returned
    EXPECT_EQ(task.steps.load(), 1u) << "a step began after Cancel";
    EXPECT_EQ(runner.WaitUntilComplete(), S_OK);
}

TEST(ThreadedCooperativeTask, StepThatNeverEndsIsGivenUpOnAndThePoolRunsTheNextJob) {
    Quor::Platform::ManualClock clock;
    auto pool = TP::CreatePool(0, 0);
    auto stuck = std::make_unique<ScriptedTask>(std::vector<DWORD>{ICooperativeTask::kMoreWork});
    stuck->block = true;
    auto runner = std::make_unique<ThreadedCooperativeTask>(*stuck, pool, 1);
    while (stuck->steps == 0) std::this_thread::yield();
    // Cancel waits for the step, then gives the worker up once the clock passed its limit.
    std::thread canceller([&] { runner->Cancel(); });
    clock.AwaitWaiters(1);
    clock.AdvanceMilliseconds(ThreadedCooperativeTask::kCancelWaitMs);
    canceller.join();
    EXPECT_EQ(runner->WaitUntilComplete(), S_OK);
    EXPECT_FALSE(stuck->returned);
    runner.reset();

    // The pool is not stuck behind the given-up worker.
    ScriptedTask next({ICooperativeTask::kFailed});
    ThreadedCooperativeTask nextRunner(next, pool, 1);
    EXPECT_EQ(nextRunner.WaitUntilComplete(), E_FAIL);

    // When the step finally returns, the given-up worker takes no further step (its script asks
    // for more work) and ends without touching the runner.
    stuck->release = true;
    WaitFor(stuck->returned);
    EXPECT_EQ(stuck->steps.load(), 1u);
}

TEST(ThreadedCooperativeTask, CompleteEventCanBeWaitedForDirectly) {
    auto pool = TP::CreatePool(0, 0);
    ScriptedTask task({0, ICooperativeTask::kDone});
    ThreadedCooperativeTask runner(task, pool, 1);
    EXPECT_EQ(runner.GetCompleteEventHandle()->Wait(10000), Vorn::WAIT_OBJECT_0);
    // The event was consumed by that wait; WaitUntilComplete still returns.
    EXPECT_EQ(runner.WaitUntilComplete(), S_OK);
}

TEST(Lock, ExcludesOtherThreads) {
    Quor::Common::Lock lock;
    int counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 10000; ++i) {
                EXPECT_EQ(lock.Aquire(), 0);
                ++counter;
                EXPECT_EQ(lock.Release(), 0);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(counter, 40000);
}
