#pragma once
// PatchWorkers: pool threads (one for each usable processor, at most 8) that rebuild the patch
// step's files while the job thread fetches the next patches.
//
// The job thread hands jobs over with Hand and waits for each with Wait; a job runs on one worker,
// jobs start in the order they were handed, and Wait(ticket) returns once that job has returned
// (its writes are then visible to the caller). With no worker (one processor, a `most` of 0, or
// no thread could be started) Hand runs the job at once on the calling thread, so the results are
// the same either way. Jobs must not use the job's progress object (its timers belong to the job
// thread) and must not fail by throwing. The destructor waits for the jobs in hand (a worker that
// does not end in time is given up, never killed, and touches nothing of the object); jobs handed
// but not started by then are dropped, so the caller waits for every ticket first.
// Threads: Hand, Wait and HasReturned come from one thread, the one that made the object.
#include <cstddef>
#include <functional>
#include <memory>

#include "common/WorkerGroup.h"

namespace Quor::User::UpdateAndInstallShared {

class PatchWorkers {
public:
    using Job = std::function<void()>;
    static constexpr unsigned kMostWorkers = 8;

    explicit PatchWorkers(unsigned most = kMostWorkers);
    ~PatchWorkers();
    PatchWorkers(const PatchWorkers&) = delete;
    PatchWorkers& operator=(const PatchWorkers&) = delete;

    // The number of workers (0: jobs run on the caller).
    unsigned Count() const;
    // Queues job (or runs it, without workers); its ticket, counting from 0.
    size_t Hand(Job job);
    // Waits until the job of ticket has returned; tickets already waited for return at once.
    void Wait(size_t ticket);
    // Whether the job of ticket has returned (then Wait returns at once), without waiting.
    bool HasReturned(size_t ticket) const;

private:
    struct Shared;
    std::shared_ptr<Shared> m_Shared;
    std::unique_ptr<Common::WorkerGroup> m_Threads;
    size_t m_Handed = 0;
};

}  // namespace Quor::User::UpdateAndInstallShared
