#include "common/WorkerGroup.h"

#include "common/Log.h"
#include "common/ThreadPool.h"
#include "foundation/EventMultiWaitable.h"
#include "foundation/WaitResult.h"

namespace Quor::Common {

namespace {

constexpr DWORD kStopWaitMs = 60000;

DWORD RunWorker(void* argument) {
    const std::unique_ptr<std::shared_ptr<WorkerState>> state(static_cast<std::shared_ptr<WorkerState>*>(argument));
    (*state)->Run();
    return 0;
}

}  // namespace

void WorkerState::Stop() {
    Vorn::AnnotatedLockGuard lock(mutex);
    stop = true;
    changed.notify_all();
}

WorkerGroup::WorkerGroup(const unsigned count, std::shared_ptr<WorkerState> state, std::string what)
    : m_State(std::move(state)), m_What(std::move(what)) {
    if (count == 0 || !m_State) return;
    m_Pool = ThreadPool::CreatePool(0, 0);
    for (unsigned i = 0; m_Pool && i < count; ++i) {
        auto* argument = new std::shared_ptr<WorkerState>(m_State);
        std::shared_ptr<ThreadPool::IThread> job = m_Pool->CreateThread(&RunWorker, argument);
        if (!job || FAILED(job->GetLastError())) {
            delete argument;  // never started
            break;
        }
        m_Jobs.push_back(std::move(job));
    }
}

WorkerGroup::~WorkerGroup() {
    if (m_Jobs.empty()) return;
    m_State->Stop();
    for (const auto& job : m_Jobs) {
        if (job->GetDoneExecuteEventHandle()->Wait(kStopWaitMs) == Vorn::WAIT_OBJECT_0) continue;
        QUOR_LOG(Log::ERROR, "A %s worker did not stop in time and is given up", m_What.c_str());
        job->Terminate();
    }
}

}  // namespace Quor::Common
