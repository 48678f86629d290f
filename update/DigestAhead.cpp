#include "update/DigestAhead.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <mutex>

#include "common/Log.h"
#include "common/ReleaseManifest.h"
#include "common/ThreadPool.h"
#include "common/UsableProcessors.h"
#include "foundation/EventMultiWaitable.h"
#include "foundation/WaitResult.h"
#include "remote/MD5Helper.h"

namespace Quor::User {
namespace {

constexpr size_t kItemsAheadPerWorker = 4;
constexpr DWORD kStopWaitMs = 60000;

}  // namespace

struct DigestAhead::Shared {
    enum State : unsigned char { kWaiting, kHashing, kHashed, kNotHashed };

    std::vector<std::string> paths;
    std::vector<State> states;
    std::vector<std::array<unsigned char, sizeof(MD5::DIGEST)>> digests;
    const signed char* cancel = nullptr;
    size_t window = 0;

    std::mutex mutex;
    std::condition_variable changed;
    size_t next = 0;   // the first item nobody has claimed
    size_t taken = 0;  // the walk's item: workers stay within the window above it
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
            changed.wait(lock, [this] { return stop || next >= paths.size() || next < taken + window; });
            if (stop || next >= paths.size() || Common::IsCancelRequested(cancel)) return;
            const size_t item = next++;
            if (paths[item].empty()) {
                states[item] = kNotHashed;
                continue;
            }
            states[item] = kHashing;
            lock.unlock();
            MD5::DIGEST digest;
            const bool hashed = SUCCEEDED(Common::MD5Helper::ComputeMD5Quietly(paths[item], digest));
            lock.lock();
            if (hashed) std::copy(digest, digest + sizeof digest, digests[item].begin());
            states[item] = hashed ? kHashed : kNotHashed;
            changed.notify_all();
        }
    }
};

// The pool and its jobs; the destructor stops the workers and waits for them.
class DigestAhead::Workers {
public:
    Workers(const std::shared_ptr<Shared>& shared, unsigned count) : m_Shared(shared) {
        m_Pool = Common::ThreadPool::CreatePool(0, 0);
        for (unsigned i = 0; m_Pool && i < count; ++i) {
            auto* argument = new std::shared_ptr<Shared>(shared);
            std::shared_ptr<Common::ThreadPool::IThread> job = m_Pool->CreateThread(&Shared::Work, argument);
            if (!job || FAILED(job->GetLastError())) {
                delete argument;  // never started: the walk checks what no worker hashes
                break;
            }
            m_Jobs.push_back(std::move(job));
        }
    }
    ~Workers() {
        {
            std::lock_guard<std::mutex> lock(m_Shared->mutex);
            m_Shared->stop = true;
        }
        m_Shared->changed.notify_all();
        for (const auto& job : m_Jobs) {
            if (job->GetDoneExecuteEventHandle()->Wait(kStopWaitMs) == Vorn::WAIT_OBJECT_0) continue;
            QUOR_LOG(Log::ERROR, "A hashing worker did not stop in time and is given up");
            job->Terminate();
        }
    }
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;

private:
    std::shared_ptr<Shared> m_Shared;
    std::shared_ptr<Common::ThreadPool::IPool> m_Pool;
    std::vector<std::shared_ptr<Common::ThreadPool::IThread>> m_Jobs;
};

DigestAhead::DigestAhead(std::vector<std::string> paths, const signed char* cancel, const unsigned most)
    : m_Shared(std::make_shared<Shared>()) {
    Shared& shared = *m_Shared;
    shared.states.assign(paths.size(), Shared::kWaiting);
    shared.digests.resize(paths.size());
    shared.paths = std::move(paths);
    shared.cancel = cancel;
    const unsigned processors = Common::UsableProcessors();
    if (processors < 2 || shared.paths.empty()) return;
    const unsigned count = std::min({processors, most, kMostWorkers});
    if (count == 0) return;
    shared.window = count * kItemsAheadPerWorker;
    m_Workers = std::make_unique<Workers>(m_Shared, count);
}

DigestAhead::~DigestAhead() = default;

bool DigestAhead::Take(const size_t item, MD5::DIGEST& digest) {
    Shared& shared = *m_Shared;
    std::unique_lock<std::mutex> lock(shared.mutex);
    if (item >= shared.states.size()) return false;
    shared.taken = item;
    shared.changed.notify_all();  // the window moved
    if (item >= shared.next) {
        // Nobody has it in hand: the walk checks it itself, and the workers go on after it.
        for (size_t skipped = shared.next; skipped <= item; ++skipped) shared.states[skipped] = Shared::kNotHashed;
        shared.next = item + 1;
        return false;
    }
    shared.changed.wait(lock, [&] { return shared.states[item] != Shared::kHashing; });
    if (shared.states[item] != Shared::kHashed) return false;
    std::copy(shared.digests[item].begin(), shared.digests[item].end(), digest);
    return true;
}

}  // namespace Quor::User
