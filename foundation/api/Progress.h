#pragma once
// The progress record of a long operation, and the sink that receives it.
//
// Progress is a plain value (copyable, no lock). Counters 1-4 are set by the operation that
// reports; counter 5 (m_BytesDownloaded) is the bytes transferred so far and counter 6 the bytes to
// transfer in all; then the operation and step types, the elapsed and the estimated remaining
// seconds, and the current item (a file name).
// IUpdateProgress is implemented by whoever wants the reports; the reporter does not own it and
// may call it while holding its own lock, so a sink must not call back into the reporter.
#include <cstdint>
#include <string>

namespace Quor::API {

struct Progress {
    // Values are set by the operations that fill the record; this type only carries them.
    enum OperationType : uint32_t {};
    enum StepType : uint32_t {};

    uint32_t m_Counter1 = 0;
    uint32_t m_Counter2 = 0;
    uint32_t m_Counter3 = 0;
    uint32_t m_Counter4 = 0;
    uint32_t m_BytesDownloaded = 0;
    uint32_t m_BytesToDownload = 0;
    OperationType m_OperationType{};
    StepType m_StepType{};
    float m_ElapsedSeconds = 0.0f;
    float m_RemainingSeconds = 0.0f;
    std::string m_CurrentItem;

    // The ten numbers to 0 and the item to the empty text.
    void Clear() { *this = Progress(); }
};

class IUpdateProgress {
public:
    virtual void UpdateProgress(const Progress& progress) = 0;
    virtual ~IUpdateProgress() = default;
};

}  // namespace Quor::API
