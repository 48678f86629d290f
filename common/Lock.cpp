#include "common/Lock.h"

#include "foundation/Mutex.h"

namespace Quor::Common {

Lock::Lock() : m_mutex(std::make_unique<Vorn::Mutex>(false)) {}
Lock::~Lock() = default;

// This lock is the inner mutex under another name; to the analysis they are two.
int Lock::Aquire() NO_THREAD_SAFETY_ANALYSIS { return m_mutex->Lock(); }
int Lock::Release() NO_THREAD_SAFETY_ANALYSIS { return m_mutex->Unlock(); }

}  // namespace Quor::Common
