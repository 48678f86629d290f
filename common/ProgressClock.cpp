#include "common/ProgressClock.h"

#include "foundation/CStd/CStdTime.h"

namespace Quor::User {

namespace {

class SystemClock final : public IProgressClock {
public:
    DWORD NowMs() override { return Vorn::std_time_get_time(); }
};

}  // namespace

IProgressClock& SystemProgressClock() {
    static SystemClock clock;
    return clock;
}

}  // namespace Quor::User
