#pragma once
// A piece of work that advances in steps, driven by ThreadedCooperativeTask on a pool thread.
//
// DoWork does one step within the given budget and answers kMoreWork (0), kDone (1) or kFailed
// (2). Between two steps the driver may stop calling it (cancellation); a step always runs to its
// end. The driver calls DoWork from one thread at a time; the task's owner keeps it alive until
// the driver has completed.
#include "foundation/Types.h"

namespace Quor::Common {

class ICooperativeTask {
public:
    static constexpr DWORD kMoreWork = 0;
    static constexpr DWORD kDone = 1;
    static constexpr DWORD kFailed = 2;

    virtual DWORD DoWork(DWORD budget) = 0;
    virtual ~ICooperativeTask() = default;
};

}  // namespace Quor::Common
