#include "update/DigestAhead.h"

#include <algorithm>
#include <array>

#include "common/ReleaseManifest.h"
#include "common/UsableProcessors.h"
#include "common/WorkerGroup.h"
#include "remote/MD5Helper.h"

namespace Quor::User {
namespace {

constexpr size_t kItemsAheadPerWorker = 4;

}  // namespace

struct DigestAhead::Shared : Common::WorkerState {
    enum State : unsigned char { kWaiting, kHashing, kHashed, kNotHashed };

    std::vector<std::string> paths;
    std::vector<State> states GUARDED_BY(mutex);
    std::vector<std::array<unsigned char, sizeof(MD5::DIGEST)>> digests GUARDED_BY(mutex);
    const signed char* cancel = nullptr;
    size_t window = 0;

    size_t next GUARDED_BY(mutex) = 0;   // the first item nobody has claimed
    size_t taken GUARDED_BY(mutex) = 0;  // the walk's item: workers stay within the window above it

    void Run() override {
        Vorn::AnnotatedUniqueLock lock(mutex);
        for (;;) {
            changed.wait(lock.ForWait(),
                         [this]() REQUIRES(mutex) { return stop || next >= paths.size() || next < taken + window; });
            if (stop || next >= paths.size() || Common::IsCancelRequested(cancel)) return;
            const size_t item = next++;
            if (paths[item].empty()) {
                states[item] = kNotHashed;
                continue;
            }
            states[item] = kHashing;
            lock.Unlock();
            MD5::DIGEST digest;
            const bool hashed = SUCCEEDED(Common::MD5Helper::ComputeMD5Quietly(paths[item], digest));
            lock.Lock();
            if (hashed) std::copy(digest, digest + sizeof digest, digests[item].begin());
            states[item] = hashed ? kHashed : kNotHashed;
            changed.notify_all();
        }
    }
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
    m_Workers = std::make_unique<Common::WorkerGroup>(count, m_Shared, "hashing");
}

DigestAhead::~DigestAhead() = default;

bool DigestAhead::Take(const size_t item, MD5::DIGEST& digest) {
    Shared& shared = *m_Shared;
    Vorn::AnnotatedUniqueLock lock(shared.mutex);
    if (item >= shared.states.size()) return false;
    shared.taken = item;
    shared.changed.notify_all();  // the window moved
    if (item >= shared.next) {
        // Nobody has it in hand: the walk checks it itself, and the workers go on after it.
        for (size_t skipped = shared.next; skipped <= item; ++skipped) shared.states[skipped] = Shared::kNotHashed;
        shared.next = item + 1;
        return false;
    }
    shared.changed.wait(lock.ForWait(),
                        [&]() REQUIRES(shared.mutex) { return shared.states[item] != Shared::kHashing; });
    if (shared.states[item] != Shared::kHashed) return false;
    std::copy(shared.digests[item].begin(), shared.digests[item].end(), digest);
    return true;
}

}  // namespace Quor::User
