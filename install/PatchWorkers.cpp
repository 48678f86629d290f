#include "install/PatchWorkers.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

#include "common/Log.h"
#include "common/ThreadPool.h"
#include "common/UsableProcessors.h"
#include "foundation/EventMultiWaitable.h"
#include "foundation/WaitResult.h"

namespace Quor::User::UpdateAndInstallShared {

namespace {
constexpr DWORD kStopWaitMs = 60000;
}

struct PatchWorkers::Shared {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::pair<size_t, Job>> queue;  // handed, not started
    size_t done = 0;                            // every ticket below this one has returned
    std::vector<size_t> finished;               // returned tickets at or above `done`
    bool stop = false;

    static DWORD Work(void* argument) {
        const std::shared_ptr<Shared> shared = std::move(*static_cast<std::shared_ptr<Shared>*>(argument));
        delete static_cast<std::shared_ptr<Shared>*>(argument);
        shared->Run();
        return 0;
    }

    void Run() {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return stop || !queue.empty(); });
            if (stop) return;
            auto [ticket, job] = std::move(queue.front());
            queue.pop_front();
            lock.unlock();
            job();
            job = nullptr;  // what the job holds goes before the job thread hears it returned
            lock.lock();
            MarkDone(ticket);
            changed.notify_all();
        }
    }

    // With the lock held.
    void MarkDone(size_t ticket) {
        finished.push_back(ticket);
        for (auto at = std::find(finished.begin(), finished.end(), done); at != finished.end();
             at = std::find(finished.begin(), finished.end(), done)) {
            finished.erase(at);
            ++done;
        }
    }
    bool IsDone(size_t ticket) const {
        return ticket < done || std::find(finished.begin(), finished.end(), ticket) != finished.end();
    }
};

// The pool and its jobs; the destructor stops the workers and waits for them.
class PatchWorkers::Threads {
public:
    Threads(const std::shared_ptr<Shared>& shared, unsigned count) : m_Shared(shared) {
        m_Pool = Common::ThreadPool::CreatePool(0, 0);
        for (unsigned i = 0; m_Pool && i < count; ++i) {
            auto* argument = new std::shared_ptr<Shared>(shared);
            std::shared_ptr<Common::ThreadPool::IThread> job = m_Pool->CreateThread(&Shared::Work, argument);
            if (!job || FAILED(job->GetLastError())) {
                delete argument;  // never started: the others, or the caller, do the work
                break;
            }
            m_Jobs.push_back(std::move(job));
        }
    }
    ~Threads() {
        {
            std::lock_guard<std::mutex> lock(m_Shared->mutex);
            m_Shared->stop = true;
        }
        m_Shared->changed.notify_all();
        for (const auto& job : m_Jobs) {
            if (job->GetDoneExecuteEventHandle()->Wait(kStopWaitMs) == Vorn::WAIT_OBJECT_0) continue;
            QUOR_LOG(Log::ERROR, "A patching worker did not stop in time and is given up");
            job->Terminate();
        }
    }
    Threads(const Threads&) = delete;
    Threads& operator=(const Threads&) = delete;

    unsigned Count() const { return static_cast<unsigned>(m_Jobs.size()); }

private:
    std::shared_ptr<Shared> m_Shared;
    std::shared_ptr<Common::ThreadPool::IPool> m_Pool;
    std::vector<std::shared_ptr<Common::ThreadPool::IThread>> m_Jobs;
};

PatchWorkers::PatchWorkers(const unsigned most) : m_Shared(std::make_shared<Shared>()) {
    const unsigned processors = Common::UsableProcessors();
    const unsigned count = std::min(processors, most);
    if (processors < 2 || count == 0) return;
    m_Threads = std::make_unique<Threads>(m_Shared, count);
    if (m_Threads->Count() == 0) m_Threads.reset();
}

PatchWorkers::~PatchWorkers() = default;

unsigned PatchWorkers::Count() const { return m_Threads ? m_Threads->Count() : 0; }

size_t PatchWorkers::Hand(Job job) {
    const size_t ticket = m_Handed++;
    if (!m_Threads) {
        job();
        std::lock_guard<std::mutex> lock(m_Shared->mutex);
        m_Shared->MarkDone(ticket);
        return ticket;
    }
    {
        std::lock_guard<std::mutex> lock(m_Shared->mutex);
        m_Shared->queue.emplace_back(ticket, std::move(job));
    }
    m_Shared->changed.notify_all();
    return ticket;
}

void PatchWorkers::Wait(const size_t ticket) {
    if (ticket >= m_Handed) return;
    std::unique_lock<std::mutex> lock(m_Shared->mutex);
    m_Shared->changed.wait(lock, [&] { return m_Shared->IsDone(ticket); });
}

}  // namespace Quor::User::UpdateAndInstallShared
