#include "common/ProgressWork.h"

#include "common/Log.h"

namespace Quor::User {

const char* const WORK_TYPE_TO_STRING[WORK_TYPE_COUNT] = {"WORK_TYPE_DOWNLOAD", "WORK_TYPE_DISK_ACCESS",
                                                          "WORK_TYPE_UNCLASSIFIED"};
const float DEFAULT_RATES[WORK_TYPE_COUNT] = {500.0f, 10000.0f, 0.0f};

const char* WorkTypeText(int type) { return IsValidWorkType(type) ? WORK_TYPE_TO_STRING[type] : "invalid work type"; }

void ProgressWork::SetTotal(int64_t total) {
    m_Total = total;
    QUOR_LOG(Log::VERBOSE, "%s, %lld", WorkTypeText(m_Type), static_cast<long long>(total));
    Check();
}

void ProgressWork::AddSample(DWORD time, int64_t work) {
    m_Samples.push_back({time, work});
    m_Elapsed += time;
    m_Completed += work;
    QUOR_LOG(Log::VERBOSE, "%s, (time = %d, work = %lld) (m_Elapsed: %d, m_Completed: %lld)", WorkTypeText(m_Type),
             static_cast<int>(time), static_cast<long long>(work), static_cast<int>(m_Elapsed),
             static_cast<long long>(m_Completed));
    Check();
    if (m_Samples.size() > kMaxSamples) MergeOldSamples();
}

void ProgressWork::MergeOldSamples() {
    // Merge the neighbours i, i+1 whose summed duration is smallest next to the duration of all
    // newer samples; ties go to the older pair. Recent samples (small newer sums) are thus kept.
    const size_t count = m_Samples.size();
    size_t best = 0;
    double bestCost = -1.0;
    uint64_t newer = 0;  // duration of the samples after i + 1
    for (size_t j = count - 1; j >= 1; --j) {
        const size_t i = j - 1;
        const double cost = static_cast<double>(m_Samples[i].duration + m_Samples[j].duration) /
                            static_cast<double>(newer ? newer : 1);
        if (bestCost < 0.0 || cost <= bestCost) {
            bestCost = cost;
            best = i;
        }
        newer += m_Samples[j].duration;
    }
    m_Samples[best].duration += m_Samples[best + 1].duration;
    m_Samples[best].bytes += m_Samples[best + 1].bytes;
    m_Samples.erase(m_Samples.begin() + static_cast<std::ptrdiff_t>(best) + 1);
}

void ProgressWork::UpdateEstimate() {
    m_Windows.clear();
    uint64_t sumDuration = 0;
    int64_t sumBytes = 0;
    uint64_t limit = 1000;
    bool pending = false;
    for (auto it = m_Samples.rbegin(); it != m_Samples.rend(); ++it) {
        sumDuration += it->duration;
        sumBytes += it->bytes;
        pending = true;
        if (sumDuration > limit) {
            m_Windows.push_back({sumDuration, sumBytes});
            limit *= 2;
            pending = false;
        }
    }
    if (pending) m_Windows.push_back({sumDuration, sumBytes});
}

float ProgressWork::Rate() const {
    float rate = IsValidWorkType(m_Type) ? DEFAULT_RATES[m_Type] : 0.0f;
    if (m_Windows.size() >= 2) {
        const Sample& middle = m_Windows[(m_Windows.size() - 1) / 2];
        if (middle.duration != 0) rate = static_cast<float>(middle.bytes) / static_cast<float>(middle.duration);
    }
    return rate;
}

void ProgressWork::Check() const {
    if (m_Completed > m_Total) QUOR_LOG(Log::VERBOSE, "Completed larger than total");
    if (m_Completed < 0) QUOR_LOG(Log::VERBOSE, "Negative completed value");
    if (m_Total < 0) QUOR_LOG(Log::VERBOSE, "Negative total value");
}

}  // namespace Quor::User
