#pragma once
// The accounting of one kind of work of a progress object: bytes to do and done, milliseconds of
// timed work, and the history of timed samples from which the transfer rate is taken.
//
// The rate comes from windows: walking the samples from the newest, window k holds the sums of the
// newest samples up to just past 1000 * 2^k ms (the last one may be shorter), and the middle window
// gives the rate. The history is bounded: past kMaxSamples samples, the two neighbouring samples
// that are smallest next to everything newer than them are merged into one, so old history is kept
// ever coarser while recent samples stay exact. The windows stay close to what the whole history
// would give, and the cost of an estimate stays constant however long the job runs.
// Counters are 64-bit. Not thread-safe: AutoUpdateProgress guards it with its mutex.
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/Types.h"

namespace Quor::User {

enum WORK_TYPE : int32_t { WORK_TYPE_DOWNLOAD = 0, WORK_TYPE_DISK_ACCESS = 1, WORK_TYPE_UNCLASSIFIED = 2 };
constexpr int WORK_TYPE_COUNT = 3;

// Texts of the work types for log lines, and their default rates in bytes per millisecond.
extern const char* const WORK_TYPE_TO_STRING[WORK_TYPE_COUNT];
extern const float DEFAULT_RATES[WORK_TYPE_COUNT];

// Tick period (ms) of a fast-updating display.
constexpr DWORD UPDATE_PERIOD_FAST = 100;

// The type's text, or "invalid work type" for a value outside the table.
const char* WorkTypeText(int type);
inline bool IsValidWorkType(int type) { return type >= 0 && type < WORK_TYPE_COUNT; }

class ProgressWork {
public:
    struct Sample {
        uint64_t duration;  // ms
        int64_t bytes;
    };
    static constexpr size_t kMaxSamples = 256;

    explicit ProgressWork(WORK_TYPE type) : m_Type(type) {}

    void SetTotal(int64_t total);
    void AddSample(DWORD time, int64_t work);
    // Rebuilds the windows from the samples.
    void UpdateEstimate();
    // Logs (VERBOSE) inconsistent counters; changes nothing.
    void Check() const;
    // Bytes per ms from the middle window of the last estimate, or the type's default rate when
    // there are fewer than two windows or the middle one has no duration.
    float Rate() const;

    WORK_TYPE Type() const { return m_Type; }
    int64_t Total() const { return m_Total; }
    int64_t Completed() const { return m_Completed; }
    DWORD Elapsed() const { return m_Elapsed; }
    const std::vector<Sample>& Samples() const { return m_Samples; }
    const std::vector<Sample>& Windows() const { return m_Windows; }

private:
    void MergeOldSamples();

    int64_t m_Total = 0;
    int64_t m_Completed = 0;
    DWORD m_Elapsed = 0;
    std::vector<Sample> m_Samples;  // oldest first
    std::vector<Sample> m_Windows;  // newest window first
    WORK_TYPE m_Type;
};

}  // namespace Quor::User
