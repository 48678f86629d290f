// A clean use of every annotated lock type: clang's lock analysis must accept it as it stands.
// lock-analysis_test.sh compiles it, then copies of it with one violation appended each, which
// the analysis must refuse. Never built into a program.
#include <condition_variable>
#include <memory>

#include "common/Lock.h"
#include "foundation/AnnotatedMutex.h"
#include "foundation/Mutex.h"
#include "foundation/ThreadAnnotations.h"

namespace LockAnalysisPlants {

// The members are public so that a planted function can reach them.
struct Counter {
    Vorn::AnnotatedMutex mutex;
    int count GUARDED_BY(mutex) = 0;
    std::condition_variable changed;

    void Add() EXCLUDES(mutex) {
        Vorn::AnnotatedLockGuard lock(mutex);
        AddLocked();
    }
    void AddLocked() REQUIRES(mutex) {
        ++count;
        changed.notify_all();
    }
    void AwaitPositive() EXCLUDES(mutex) {
        Vorn::AnnotatedUniqueLock lock(mutex);
        changed.wait(lock.ForWait(), [&]() REQUIRES(mutex) { return count > 0; });
    }
    // Lets go of the lock for a stretch of work, then takes it again.
    void TakeAndWork(void (*work)(int)) EXCLUDES(mutex) {
        Vorn::AnnotatedUniqueLock lock(mutex);
        const int taken = count;
        count = 0;
        lock.Unlock();
        work(taken);
        lock.Lock();
        ++count;
    }
    Vorn::AnnotatedMutex& Mutex() RETURN_CAPABILITY(mutex) { return mutex; }
    void Reset() EXCLUDES(mutex) {
        Vorn::AnnotatedLockGuard lock(Mutex());
        count = 0;
    }
};

// A Vorn::Mutex held through a shared pointer, as the project's classes hold theirs.
struct Pending {
    std::shared_ptr<Vorn::Mutex> mutex = Vorn::Mutex::Create(false);
    int items GUARDED_BY(*mutex) = 0;

    void Push(bool more) EXCLUDES(*mutex) {
        mutex->Lock();
        ++items;
        if (!more) {
            mutex->Unlock();
            return;
        }
        ++items;
        mutex->Unlock();
    }
};

struct Percent {
    Quor::Common::Lock lock;
    int value GUARDED_BY(lock) = 0;

    void Set(int percent) EXCLUDES(lock) {
        lock.Aquire();
        value = percent;
        lock.Release();
    }
};

}  // namespace LockAnalysisPlants
