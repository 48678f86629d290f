#include "common/Lock.h"

#include "foundation/Mutex.h"

namespace Quor::Common {

Lock::Lock() : m_mutex(std::make_unique<Vorn::Mutex>(false)) {}
Lock::~Lock() = default;

int Lock::Aquire() { return m_mutex->Lock(); }
int Lock::Release() { return m_mutex->Unlock(); }

}  // namespace Quor::Common
