#include "install/PatchWorkers.h"

#include <algorithm>
#include <deque>
#include <vector>

#include "common/UsableProcessors.h"

namespace Quor::User::UpdateAndInstallShared {

struct PatchWorkers::Shared : Common::WorkerState {
    std::deque<std::pair<size_t, Job>> queue GUARDED_BY(mutex);  // handed, not started
    size_t done GUARDED_BY(mutex) = 0;              // every ticket below this one has returned
    std::vector<size_t> finished GUARDED_BY(mutex);  // returned tickets at or above `done`

    void Run() override {
        Vorn::AnnotatedUniqueLock lock(mutex);
        for (;;) {
            changed.wait(lock.ForWait(), [this]() REQUIRES(mutex) { return stop || !queue.empty(); });
            if (stop) return;
            auto [ticket, job] = std::move(queue.front());
            queue.pop_front();
            lock.Unlock();
            job();
            job = nullptr;  // what the job holds goes before the job thread hears it returned
            lock.Lock();
            MarkDone(ticket);
            changed.notify_all();
        }
    }

    void MarkDone(size_t ticket) REQUIRES(mutex) {
        finished.push_back(ticket);
        for (auto at = std::find(finished.begin(), finished.end(), done); at != finished.end();
             at = std::find(finished.begin(), finished.end(), done)) {
            finished.erase(at);
            ++done;
        }
    }
    bool IsDone(size_t ticket) const REQUIRES(mutex) {
        return ticket < done || std::find(finished.begin(), finished.end(), ticket) != finished.end();
    }
};

PatchWorkers::PatchWorkers(const unsigned most) : m_Shared(std::make_shared<Shared>()) {
    const unsigned processors = Common::UsableProcessors();
    const unsigned count = std::min(processors, most);
    if (processors < 2 || count == 0) return;
    m_Threads = std::make_unique<Common::WorkerGroup>(count, m_Shared, "patching");
    if (m_Threads->Count() == 0) m_Threads.reset();
}

PatchWorkers::~PatchWorkers() = default;

unsigned PatchWorkers::Count() const { return m_Threads ? m_Threads->Count() : 0; }

size_t PatchWorkers::Hand(Job job) {
    const size_t ticket = m_Handed++;
    if (!m_Threads) {
        job();
        Vorn::AnnotatedLockGuard lock(m_Shared->mutex);
        m_Shared->MarkDone(ticket);
        return ticket;
    }
    {
        Vorn::AnnotatedLockGuard lock(m_Shared->mutex);
        m_Shared->queue.emplace_back(ticket, std::move(job));
    }
    m_Shared->changed.notify_all();
    return ticket;
}

void PatchWorkers::Wait(const size_t ticket) {
    if (ticket >= m_Handed) return;
    Shared& shared = *m_Shared;
    Vorn::AnnotatedUniqueLock lock(shared.mutex);
    shared.changed.wait(lock.ForWait(), [&]() REQUIRES(shared.mutex) { return shared.IsDone(ticket); });
}

bool PatchWorkers::HasReturned(const size_t ticket) const {
    if (ticket >= m_Handed) return true;
    Vorn::AnnotatedLockGuard lock(m_Shared->mutex);
    return m_Shared->IsDone(ticket);
}

}  // namespace Quor::User::UpdateAndInstallShared
