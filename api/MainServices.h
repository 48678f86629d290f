#pragma once
// What the client main object lends to the file objects and asynchronous loads it makes: its
// runtime environment, release-manifest cache, file-operation mutex (not recursive) and thread
// pool. The main object outlives everything it made.
#include <memory>

#include "api/RuntimeEnvironment.h"
#include "common/ReleaseManifestCache.h"
#include "common/ThreadPool.h"
#include "foundation/Mutex.h"
#include "foundation/ThreadAnnotations.h"

namespace Quor::API::Impl {

class MainServices {
public:
    virtual const RuntimeEnvironment& GetEnvironment() const = 0;
    virtual Quor::Common::ReleaseManifestCache& GetManifestCache() = 0;
    virtual Vorn::Mutex& GetMutex() = 0;
    virtual const std::shared_ptr<Quor::Common::ThreadPool::IPool>& GetThreadPool() = 0;

protected:
    virtual ~MainServices() = default;
};

// Holds a mutex from construction to destruction.
class SCOPED_CAPABILITY MutexHolder {
public:
    explicit MutexHolder(Vorn::Mutex& mutex) ACQUIRE(mutex) : m_Mutex(mutex) { m_Mutex.Lock(); }
    ~MutexHolder() RELEASE() { m_Mutex.Unlock(); }
    MutexHolder(const MutexHolder&) = delete;
    MutexHolder& operator=(const MutexHolder&) = delete;

private:
    Vorn::Mutex& m_Mutex;
};

}  // namespace Quor::API::Impl
