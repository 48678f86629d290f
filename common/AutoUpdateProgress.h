#pragma once
// Quor::User::AutoUpdateProgress: progress and cancellation of one long job.
//
// Workers report bytes to do (DeltaBytesTotal) and bytes done (through scoped AutoTimers) under
// three kinds of work; the object derives rates and a remaining-time estimate and pushes the
// progress record to a sink at most once per tick period. The cancel flag belongs to the job's
// owner and is only read here (at each tick).
//
// Threads: one non-recursive mutex guards the works, the timer stacks, the thread slots and the
// record; the sink is called with it held and must not call back into the object. At most three
// threads may use timers (each takes a slot for the object's lifetime); a timer is used on the
// thread that made it, and timers of one thread end in the reverse order of their creation.
// Misuse is logged and leaves the counters consistent. Byte counters are 64-bit inside; the
// record's 32-bit byte fields show them saturated at 0xFFFFFFFF.
// The object is destroyed after its workers are done; the clock must outlive it.
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/ProgressClock.h"
#include "common/ProgressWork.h"
#include "foundation/ThreadAnnotations.h"
#include "foundation/Types.h"
#include "foundation/api/Progress.h"

namespace Vorn {
class Mutex;
}

namespace Quor::User {

class AutoUpdateProgress;

namespace AutoUpdateProgressHelper {
void SetStringDataToFilenameFromPath(AutoUpdateProgress& progress, const std::string& path);
}

class AutoUpdateProgress {
public:
    using Work = ProgressWork;
    static constexpr int kThreadSlots = 3;

    // Measures one piece of work on the calling thread; see the header comment.
    class AutoTimer {
    public:
        AutoTimer(AutoUpdateProgress& progress, WORK_TYPE type);
        ~AutoTimer();
        AutoTimer(const AutoTimer&) = delete;
        AutoTimer& operator=(const AutoTimer&) = delete;

        void DeltaBytesCompleted(int64_t delta);
        // The progress object the timer reports to.
        AutoUpdateProgress& GetAutoUpdateProgress() const { return m_AutoUpdateProgress; }
        bool IsThreadIndexValid() const { return m_ThreadIndex < static_cast<DWORD>(kThreadSlots); }

    private:
        friend class AutoUpdateProgress;

        AutoUpdateProgress& m_AutoUpdateProgress;
        WORK_TYPE m_Type;
        DWORD m_ThreadIndex;  // 0xFFFFFFFF: no slot was free (an inert timer)
        DWORD m_StartTime;
        DWORD m_LastSampleTime;
        DWORD m_PausedTime;    // ms spent in nested timers since the last sample
        int64_t m_PendingBytes;  // reported but not yet sampled
    };

    // sink and cancel may be null; neither is owned. tickPeriod: minimum ms between two reports.
    AutoUpdateProgress(Quor::API::IUpdateProgress* sink, const signed char* cancel, unsigned long tickPeriod,
                       IProgressClock& clock = SystemProgressClock());
    ~AutoUpdateProgress();
    AutoUpdateProgress(const AutoUpdateProgress&) = delete;
    AutoUpdateProgress& operator=(const AutoUpdateProgress&) = delete;

    AutoUpdateProgress& DeltaBytesTotal(WORK_TYPE type, int64_t delta);
    // The work of that type announced so far (the sum of its DeltaBytesTotal calls).
    int64_t BytesTotal(WORK_TYPE type);
    // Reports to the sink when the tick period has passed (bit 0 of force: at once).
    void Tick(unsigned long force);
    // Fresh estimate, then a copy of the whole record.
    void GetProgress(Quor::API::Progress& out);
    // The calling thread's slot (taking a free one), or -1 when three other threads hold them.
    int GetCurrentThreadIndex();
    void CreateEstimateString(unsigned int type, std::string& out);

    // The job's cancel flag as given at construction (may be null).
    const signed char* GetCancelFlag() const { return m_Cancel; }

    // Lets the job's owner set the record's other fields (operation and step types, counters 1-4)
    // under the mutex.
    void EditProgress(const std::function<void(Quor::API::Progress&)>& edit);

private:
    friend void AutoUpdateProgressHelper::SetStringDataToFilenameFromPath(AutoUpdateProgress&, const std::string&);

    class Locked;
    int ThreadIndexLocked() REQUIRES(*m_Mutex);
    void InternalTick(unsigned long force);
    void UpdateEstimate();
    void SetBytesDownloaded(int64_t value);
    void SetBytesToDownload(int64_t value);

    std::string m_StringData;
    std::shared_ptr<Vorn::Mutex> m_Mutex;
    std::array<std::vector<AutoTimer*>, kThreadSlots> m_TimerStacks;
    std::array<std::thread::id, kThreadSlots> m_ThreadSlots{};  // default id: free
    std::array<Work, WORK_TYPE_COUNT> m_Works{Work(WORK_TYPE_DOWNLOAD), Work(WORK_TYPE_DISK_ACCESS),
                                              Work(WORK_TYPE_UNCLASSIFIED)};
    Quor::API::IUpdateProgress* m_Sink;
    const signed char* m_Cancel;
    DWORD m_TickPeriod;
    DWORD m_LastTick = 0;
    int64_t m_BytesDownloaded = 0;  // shown in the record's m_BytesDownloaded
    int64_t m_BytesToDownload = 0;  // shown in the record's m_BytesToDownload
    IProgressClock& m_Clock;
    Quor::API::Progress m_Progress;
};

}  // namespace Quor::User
