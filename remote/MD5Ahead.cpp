#include "remote/MD5Ahead.h"

#include <sys/stat.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "common/Log.h"
#include "common/ReleaseManifest.h"
#include "common/ThreadPool.h"
#include "foundation/EventMultiWaitable.h"
#include "foundation/WaitResult.h"
#include "remote/MD5Helper.h"

namespace Quor::Common {

namespace {

constexpr size_t kFilesAheadPerWorker = 8;
constexpr DWORD kStopWaitMs = 30000;

enum class State { kWaiting, kHashing, kDone, kTaken };

struct Item {
    std::string path;
    State state = State::kWaiting;
    HRESULT hr = E_FAIL;
    MD5::DIGEST digest = {};
};

}  // namespace

// What the workers and the asker share; the workers hold it too, so it outlives a worker given up on.
struct MD5Ahead::Shared {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<Item> items;
    std::unordered_map<std::string, size_t> index;
    size_t position = 0;  // the asker is at this file: workers take files from here on
    size_t window = 0;    // how far past position workers may go
    bool stop = false;
    const signed char* cancel = nullptr;

    // Under the lock: the next file for a worker, or false when it should end.
    bool Claim(std::unique_lock<std::mutex>& held, size_t& claimed) {
        for (;;) {
            if (stop || IsCancelRequested(cancel)) return false;
            size_t at = position;
            while (at < items.size() && items[at].state != State::kWaiting) ++at;
            if (at >= items.size()) return false;
            if (at < position + window) {
                items[at].state = State::kHashing;
                claimed = at;
                return true;
            }
            changed.wait(held);
        }
    }

    static DWORD Work(void* argument) {
        const std::unique_ptr<std::shared_ptr<Shared>> held(static_cast<std::shared_ptr<Shared>*>(argument));
        Shared& shared = **held;
        std::unique_lock<std::mutex> guard(shared.lock);
        size_t at = 0;
        while (shared.Claim(guard, at)) {
            const std::string path = shared.items[at].path;
            guard.unlock();
            MD5::DIGEST digest = {};
            struct stat status {};
            // A name that became a link since it was listed is left to the asker.
            const HRESULT hr = ::lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode)
                                   ? MD5Helper::ComputeMD5Quietly(path, digest)
                                   : E_FAIL;
            guard.lock();
            Item& item = shared.items[at];
            item.hr = hr;
            std::memcpy(item.digest, digest, sizeof digest);
            item.state = State::kDone;
            shared.changed.notify_all();
        }
        return 0;
    }
};

// The workers' jobs, on a pool of their own; destruction stops them and waits for them.
class MD5Ahead::Workers {
public:
    Workers(const std::shared_ptr<Shared>& shared, unsigned count) : m_Shared(shared) {
        m_Pool = ThreadPool::CreatePool(0, 0);
        for (unsigned i = 0; i < count; ++i) {
            auto* argument = new std::shared_ptr<Shared>(shared);
            std::shared_ptr<ThreadPool::IThread> job = m_Pool->CreateThread(&Shared::Work, argument);
            if (!job || FAILED(job->GetLastError())) {
                delete argument;  // never started: the asker hashes what no worker takes
                QUOR_LOG(Log::ERROR, "Failed to start hashing worker %u", i);
                break;
            }
            m_Jobs.push_back(std::move(job));
        }
    }

    ~Workers() {
        {
            const std::lock_guard<std::mutex> guard(m_Shared->lock);
            m_Shared->stop = true;
        }
        m_Shared->changed.notify_all();
        for (const std::shared_ptr<ThreadPool::IThread>& job : m_Jobs) {
            if (job->GetDoneExecuteEventHandle()->Wait(kStopWaitMs) != Vorn::WAIT_OBJECT_0) {
                QUOR_LOG(Log::ERROR, "A hashing worker did not stop in time; it is given up on");
                job->Terminate();
            }
        }
    }

    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;

private:
    std::shared_ptr<Shared> m_Shared;
    std::shared_ptr<ThreadPool::IPool> m_Pool;
    std::vector<std::shared_ptr<ThreadPool::IThread>> m_Jobs;
};

MD5Ahead::MD5Ahead(std::vector<std::string> paths, unsigned workers, const signed char* cancel)
    : m_Shared(std::make_shared<Shared>()) {
    Shared& shared = *m_Shared;
    shared.cancel = cancel;
    shared.window = std::max<size_t>(1, workers) * kFilesAheadPerWorker;
    shared.items.resize(paths.size());
    for (size_t i = 0; i < paths.size(); ++i) {
        shared.index.emplace(paths[i], i);  // a repeated path keeps its first place
        shared.items[i].path = std::move(paths[i]);
    }
    if (workers && !shared.items.empty()) m_Workers = std::make_unique<Workers>(m_Shared, workers);
}

MD5Ahead::~MD5Ahead() = default;

HRESULT MD5Ahead::ComputeMD5(const std::string& path, MD5::DIGEST& digest) {
    Shared& shared = *m_Shared;
    std::unique_lock<std::mutex> guard(shared.lock);
    const auto found = shared.index.find(path);
    if (!m_Workers || found == shared.index.end() || shared.items[found->second].state == State::kTaken) {
        guard.unlock();
        return MD5Helper::ComputeMD5(path, digest);
    }
    const size_t at = found->second;
    Item& item = shared.items[at];
    if (at + 1 > shared.position) {
        shared.position = at + 1;  // the window moves on: files passed over are never hashed
        shared.changed.notify_all();
    }
    if (item.state == State::kWaiting) {
        item.state = State::kTaken;
        guard.unlock();
        return MD5Helper::ComputeMD5(path, digest);
    }
    shared.changed.wait(guard, [&] { return item.state == State::kDone; });
    item.state = State::kTaken;
    const HRESULT hr = item.hr;
    MD5::DIGEST ahead;
    std::memcpy(ahead, item.digest, sizeof ahead);
    guard.unlock();
    if (FAILED(hr)) return MD5Helper::ComputeMD5(path, digest);  // again, with its log lines
    MD5Helper::LogComputeMD5(path);
    std::memcpy(digest, ahead, sizeof ahead);
    return S_OK;
}

}  // namespace Quor::Common
