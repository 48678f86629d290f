#pragma once
// Vorn::Mutex: a plain or recursive mutex of one process.
//
// A plain mutex must not be locked twice by one thread; a recursive one may, and is unlocked as
// often as it was locked. Lock and Unlock return the POSIX result (0 = success). Set-up cannot
// fail on this platform short of a broken process, which is then stopped at once. Not copyable.
// A capability to the thread-safety analysis (members may be GUARDED_BY it); the analysis treats
// every mutex as plain, so a recursive one is for code it does not check.
#include <pthread.h>

#include <memory>

#include "foundation/ThreadAnnotations.h"

namespace Vorn {

class CAPABILITY("mutex") Mutex {
public:
    explicit Mutex(bool recursive);
    ~Mutex();
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    static std::shared_ptr<Mutex> Create(bool recursive);

    int Lock() ACQUIRE();
    int Unlock() RELEASE();

private:
    pthread_mutex_t m_mutex;
};

}  // namespace Vorn
