#pragma once
// The millisecond clock of progress accounting.
//
// NowMs is a 32-bit millisecond count that wraps; users take differences in unsigned 32-bit
// arithmetic. SystemProgressClock is the wall clock of the bounded runtime (Vorn::std_time_get_time)
// and is what production code uses; tests hand AutoUpdateProgress a clock of their own. A clock
// must outlive every progress object that uses it and may be read from several threads.
#include "foundation/Types.h"

namespace Quor::User {

class IProgressClock {
public:
    virtual DWORD NowMs() = 0;

protected:
    ~IProgressClock() = default;
};

IProgressClock& SystemProgressClock();

}  // namespace Quor::User
