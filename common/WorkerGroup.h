#pragma once
// Quor::Common::WorkerGroup: a few pool threads that each run the loop of a state the owner shares
// with them (typically over a queue), until the owner stops them.
//
// WorkerState is what the owner and its workers share: a mutex, a condition variable for every
// change, and the stop flag; the owner derives from it and gives Run, the loop every worker runs,
// which returns soon once `stop` is set. The group's constructor starts up to `count` threads,
// each running state->Run() once; a thread that cannot be started ends the starting (Count tells
// how many run, possibly 0). The destructor calls Stop, then waits up to 60 s for each thread; a
// thread still running then is logged with `what` and given up (detached, never killed); it keeps
// the state alive, since every worker holds a share of it.
// Threads: the group is made and destroyed on one thread; Run runs on the pool's threads.
#include <condition_variable>
#include <memory>
#include <string>
#include <vector>

#include "foundation/AnnotatedMutex.h"

namespace Quor::Common {

namespace ThreadPool {
class IPool;
class IThread;
}  // namespace ThreadPool

struct WorkerState {
    virtual ~WorkerState() = default;
    virtual void Run() = 0;
    // Sets `stop` under the lock and wakes every waiter.
    void Stop();

    Vorn::AnnotatedMutex mutex;
    std::condition_variable changed;
    bool stop GUARDED_BY(mutex) = false;
};

class WorkerGroup {
public:
    WorkerGroup(unsigned count, std::shared_ptr<WorkerState> state, std::string what);
    ~WorkerGroup();
    WorkerGroup(const WorkerGroup&) = delete;
    WorkerGroup& operator=(const WorkerGroup&) = delete;

    unsigned Count() const { return static_cast<unsigned>(m_Jobs.size()); }

private:
    std::shared_ptr<WorkerState> m_State;
    std::string m_What;
    std::shared_ptr<ThreadPool::IPool> m_Pool;
    std::vector<std::shared_ptr<ThreadPool::IThread>> m_Jobs;
};

}  // namespace Quor::Common
