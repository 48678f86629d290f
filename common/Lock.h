#pragma once
// Quor::Common::Lock: a plain (non-recursive) mutex of one process.
//
// Aquire blocks until the lock is held; Release gives it back from the holding thread. Both return
// the POSIX result (0 = success). A thread must not take the lock twice. Not copyable. A
// capability to the thread-safety analysis (members may be GUARDED_BY it).
#include <memory>

#include "foundation/ThreadAnnotations.h"

namespace Vorn {
class Mutex;
}

namespace Quor::Common {

class CAPABILITY("mutex") Lock {
public:
    Lock();
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

    int Aquire() ACQUIRE();
    int Release() RELEASE();

private:
    std::unique_ptr<Vorn::Mutex> m_mutex;
};

}  // namespace Quor::Common
