#include "common/AutoUpdateProgress.h"

#include "common/Log.h"
#include "foundation/CStd/CStdFormat.h"
#include "foundation/Mutex.h"
#include "foundation/ThreadAnnotations.h"

namespace Quor::User {

namespace {

constexpr DWORD kNoSlot = 0xFFFFFFFFu;

uint32_t Saturate32(int64_t value) {
    if (value < 0) return 0;
    if (value > 0xFFFFFFFFll) return 0xFFFFFFFFu;
    return static_cast<uint32_t>(value);
}

bool IsCancelled(const signed char* flag) { return flag && __atomic_load_n(flag, __ATOMIC_ACQUIRE) != 0; }

}  // namespace

// Holds the object's mutex for one scope.
class SCOPED_CAPABILITY AutoUpdateProgress::Locked {
public:
    explicit Locked(AutoUpdateProgress& progress) ACQUIRE(*progress.m_Mutex) : m_Mutex(*progress.m_Mutex) {
        m_Mutex.Lock();
    }
    ~Locked() RELEASE() { m_Mutex.Unlock(); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    Vorn::Mutex& m_Mutex;
};

AutoUpdateProgress::AutoUpdateProgress(Quor::API::IUpdateProgress* sink, const signed char* cancel,
                                       unsigned long tickPeriod, IProgressClock& clock)
    : m_Mutex(Vorn::Mutex::Create(false)),
      m_Sink(sink),
      m_Cancel(cancel),
      m_TickPeriod(static_cast<DWORD>(tickPeriod)),
      m_Clock(clock) {
    m_Progress.Clear();
}

AutoUpdateProgress::~AutoUpdateProgress() {
    Tick(1);
    for (unsigned int type = 0; type < WORK_TYPE_COUNT; ++type) {
        std::string estimate;
        CreateEstimateString(type, estimate);
        QUOR_LOG_TAG(Log::DEBUG, "Quor::User::AutoUpdateProgress::~AutoUpdateProgress()", "%s", estimate.c_str());
    }
}

void AutoUpdateProgress::SetBytesDownloaded(int64_t value) {
    m_BytesDownloaded = value;
    m_Progress.m_BytesDownloaded = Saturate32(value);
}

void AutoUpdateProgress::SetBytesToDownload(int64_t value) {
    m_BytesToDownload = value;
    m_Progress.m_BytesToDownload = Saturate32(value);
}

AutoUpdateProgress& AutoUpdateProgress::DeltaBytesTotal(WORK_TYPE type, int64_t delta) {
    Locked lock(*this);
    QUOR_LOG(Log::VERBOSE, "%s, %lld", WorkTypeText(type), static_cast<long long>(delta));
    if (type == WORK_TYPE_DOWNLOAD) SetBytesToDownload(m_BytesToDownload + delta);
    if (!IsValidWorkType(type)) {
        QUOR_LOG(Log::ERROR, "invalid work type");
        return *this;
    }
    Work& work = m_Works[type];
    const int64_t total = work.Total() + delta;
    if (total < 0) QUOR_LOG(Log::WARNING, "Negative total");
    work.SetTotal(total);
    return *this;
}

void AutoUpdateProgress::Tick(unsigned long force) {
    Locked lock(*this);
    InternalTick(force);
}

void AutoUpdateProgress::InternalTick(unsigned long force) {
    if (force & 1) m_LastTick = 0;
    if (IsCancelled(m_Cancel)) {
        QUOR_LOG(Log::ERROR, "Cancelled");
        return;
    }
    const DWORD now = m_Clock.NowMs();
    if (static_cast<DWORD>(now - m_LastTick) > m_TickPeriod) {
        UpdateEstimate();
        if (m_Sink) {
            m_Progress.m_CurrentItem = m_StringData;
            m_Sink->UpdateProgress(m_Progress);
            m_LastTick = now;
        }
    }
}

int64_t AutoUpdateProgress::BytesTotal(const WORK_TYPE type) {
    Locked lock(*this);
    return IsValidWorkType(type) ? m_Works[type].Total() : 0;
}

void AutoUpdateProgress::GetProgress(Quor::API::Progress& out) {
    Locked lock(*this);
    UpdateEstimate();
    out = m_Progress;
}

void AutoUpdateProgress::EditProgress(const std::function<void(Quor::API::Progress&)>& edit) {
    Locked lock(*this);
    edit(m_Progress);
}

void AutoUpdateProgress::UpdateEstimate() {
    float elapsed = 0.0f;
    float remaining = 0.0f;
    for (Work& work : m_Works) {
        work.UpdateEstimate();
        if (work.Total() > 0) {
            const float rate = work.Rate();
            if (rate > 0.0f) {
                const int64_t remainingWork = work.Total() - work.Completed();
                const float thisEstimate = static_cast<float>(remainingWork) / rate / 1000.0f;
                remaining += thisEstimate;
                QUOR_LOG(Log::VERBOSE, "rate: %g, remainingWork: %lld, thisEstimateTime: %g", rate,
                         static_cast<long long>(remainingWork), thisEstimate);
            }
        }
        elapsed += static_cast<float>(work.Elapsed()) / 1000.0f;
    }
    m_Progress.m_ElapsedSeconds = elapsed;
    m_Progress.m_RemainingSeconds = remaining;
    QUOR_LOG(Log::VERBOSE, "ElapsedTime: %g, EstimatedRemainingTime: %g", elapsed, remaining);
}

int AutoUpdateProgress::ThreadIndexLocked() {
    const std::thread::id self = std::this_thread::get_id();
    for (int i = 0; i < kThreadSlots; ++i) {
        if (m_ThreadSlots[i] == self) return i;
    }
    for (int i = 0; i < kThreadSlots; ++i) {
        if (m_ThreadSlots[i] == std::thread::id()) {
            m_ThreadSlots[i] = self;
            return i;
        }
    }
    return -1;
}

int AutoUpdateProgress::GetCurrentThreadIndex() {
    Locked lock(*this);
    return ThreadIndexLocked();
}

void AutoUpdateProgress::CreateEstimateString(unsigned int type, std::string& out) {
    if (type >= static_cast<unsigned int>(WORK_TYPE_COUNT)) {
        QUOR_LOG(Log::ERROR, "invalid work type");
        return;
    }
    const Work& work = m_Works[type];
    char piece[256];
    Vorn::std_snprintf(piece, sizeof piece, "%s : ElapsedTime = %d, Total = %lld, Completed = %lld, Rates = ",
                       WorkTypeText(static_cast<int>(type)), static_cast<int>(work.Elapsed()),
                       static_cast<long long>(work.Total()), static_cast<long long>(work.Completed()));
    out = piece;
    for (const Work::Sample& window : work.Windows()) {
        const double rate =
            window.duration ? static_cast<double>(static_cast<float>(window.bytes) / static_cast<float>(window.duration)) : 0.0;
        Vorn::std_snprintf(piece, sizeof piece, "(%d: %g) ", static_cast<int>(window.duration), rate);
        out += piece;
    }
}

// ---- AutoTimer ----

AutoUpdateProgress::AutoTimer::AutoTimer(AutoUpdateProgress& progress, WORK_TYPE type)
    : m_AutoUpdateProgress(progress),
      m_Type(type),
      m_ThreadIndex(kNoSlot),
      m_StartTime(0),
      m_LastSampleTime(0),
      m_PausedTime(0),
      m_PendingBytes(0) {
    Locked lock(progress);
    const int slot = progress.ThreadIndexLocked();
    if (slot < 0) {
        QUOR_LOG(Log::ERROR, "thread table full");
    } else {
        m_ThreadIndex = static_cast<DWORD>(slot);
    }
    QUOR_LOG(Log::VERBOSE, "%s", WorkTypeText(type));
    m_StartTime = m_LastSampleTime = progress.m_Clock.NowMs();
    if (IsThreadIndexValid()) progress.m_TimerStacks[m_ThreadIndex].push_back(this);
}

void AutoUpdateProgress::AutoTimer::DeltaBytesCompleted(int64_t delta) {
    AutoUpdateProgress& progress = m_AutoUpdateProgress;
    QUOR_LOG(Log::VERBOSE, "%s, %d, %lld", WorkTypeText(m_Type), static_cast<int>(m_ThreadIndex),
             static_cast<long long>(delta));
    Locked lock(progress);
    if (m_Type == WORK_TYPE_DOWNLOAD) {
        if (delta < 0 && -delta > progress.m_BytesDownloaded) {
            QUOR_LOG(Log::ERROR, "Subtracted more bytes than we originally had!");
        } else {
            progress.SetBytesDownloaded(progress.m_BytesDownloaded + delta);
        }
        QUOR_LOG(Log::VERBOSE, "m_AutoUpdateProgress.m_Progress.m_BytesDownloaded = %d",
                 static_cast<int>(progress.m_Progress.m_BytesDownloaded));
    }
    if (!IsThreadIndexValid()) {
        QUOR_LOG(Log::ERROR, "thread table was full");
        return;
    }
    if (progress.ThreadIndexLocked() != static_cast<int>(m_ThreadIndex)) {
        QUOR_LOG(Log::ERROR, "AutoTimer created and called on different threads");
        return;
    }
    std::vector<AutoTimer*>& stack = progress.m_TimerStacks[m_ThreadIndex];
    if (stack.empty() || stack.back() != this) {
        QUOR_LOG(Log::ERROR, "This autotimer is not the head of the stack");
        return;
    }
    const DWORD now = progress.m_Clock.NowMs();
    const DWORD dt = now - m_LastSampleTime - m_PausedTime;
    if (dt > 9) {
        if (IsValidWorkType(m_Type)) {
            progress.m_Works[m_Type].AddSample(dt, m_PendingBytes + delta);
        } else {
            QUOR_LOG(Log::ERROR, "invalid work type");
        }
        m_PendingBytes = 0;
        m_PausedTime = 0;
        m_LastSampleTime = now;
    } else {
        m_PendingBytes += delta;
    }
}

AutoUpdateProgress::AutoTimer::~AutoTimer() {
    if (!IsThreadIndexValid()) return;
    AutoUpdateProgress& progress = m_AutoUpdateProgress;
    Locked lock(progress);
    QUOR_LOG(Log::VERBOSE, "%s, %d", WorkTypeText(m_Type), static_cast<int>(m_ThreadIndex));
    std::vector<AutoTimer*>& stack = progress.m_TimerStacks[m_ThreadIndex];
    if (stack.empty() || stack.back() != this) {
        QUOR_LOG(Log::ERROR, "AutoTimer stack corrupt");
        return;
    }
    stack.pop_back();
    const DWORD now = progress.m_Clock.NowMs();
    if (m_PendingBytes > 0) {
        if (IsValidWorkType(m_Type)) {
            progress.m_Works[m_Type].AddSample(now - m_PausedTime - m_LastSampleTime, m_PendingBytes);
        } else {
            QUOR_LOG(Log::ERROR, "invalid work type");
        }
    }
    if (!stack.empty()) stack.back()->m_PausedTime += now - m_StartTime;
}

}  // namespace Quor::User
