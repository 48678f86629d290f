#include "foundation/Mutex.h"

#include <cerrno>

namespace Vorn {

namespace {
// A mutex that cannot be set up leaves the process unable to guard its state: stop it at once,
// with the reason left in errno for the core dump.
[[noreturn]] void ForceCrash(int reason) {
    errno = reason;
    __builtin_trap();
}
}  // namespace

Mutex::Mutex(bool recursive) {
    int rc;
    if (recursive) {
        pthread_mutexattr_t attr;
        pthread_mutexattr_init(&attr);
        pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
        rc = pthread_mutex_init(&m_mutex, &attr);
        pthread_mutexattr_destroy(&attr);
    } else {
        rc = pthread_mutex_init(&m_mutex, nullptr);
    }
    if (rc != 0) ForceCrash(rc);
}

Mutex::~Mutex() { pthread_mutex_destroy(&m_mutex); }

std::shared_ptr<Mutex> Mutex::Create(bool recursive) { return std::make_shared<Mutex>(recursive); }

int Mutex::Lock() { return pthread_mutex_lock(&m_mutex); }

int Mutex::Unlock() { return pthread_mutex_unlock(&m_mutex); }

}  // namespace Vorn
