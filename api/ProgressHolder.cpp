#include "api/ProgressHolder.h"

#include <climits>
#include <cmath>

#include "common/JsonText.h"
#include "common/StringHelper.h"
#include "foundation/CStd/CStdFormat.h"
#include "foundation/ThreadAnnotations.h"

namespace {

class SCOPED_CAPABILITY Held {
public:
    explicit Held(Quor::Common::Lock& lock) ACQUIRE(lock) : m_Lock(lock) { m_Lock.Aquire(); }
    ~Held() RELEASE() { m_Lock.Release(); }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

private:
    Quor::Common::Lock& m_Lock;
};

double Finite(const float seconds) { return std::isfinite(seconds) ? seconds : 0.0; }

}  // namespace

void ProgressHolder::UpdateProgress(const Quor::API::Progress& progress) {
    Held held(m_Lock);
    m_Progress = progress;
}

void ProgressHolder::Clear() {
    Held held(m_Lock);
    m_HighestPercent = 0;
    m_Progress.Clear();
}

void ProgressHolder::ToString(std::string& text) {
    std::string line;
    {
        Held held(m_Lock);
        const double elapsed = Finite(m_Progress.m_ElapsedSeconds);
        const double remaining = Finite(m_Progress.m_RemainingSeconds);
        int percent = 0;
        if (elapsed + remaining > 0.1)
            percent = static_cast<int>(std::fmin(std::fmax(elapsed / (elapsed + remaining) * 100.0, 0.0), 100.0));
        if (percent >= m_HighestPercent) m_HighestPercent = percent;

        const int remainingTime = remaining <= 0.0      ? 0
                                  : remaining >= INT_MAX ? INT_MAX
                                                         : static_cast<int>(remaining);
        const uint32_t total = m_Progress.m_BytesToDownload;
        const uint32_t done = m_Progress.m_BytesDownloaded;
        const uint32_t remainingBytes = total > done ? total - done : 0;

        char numbers[1024];
        Vorn::std_snprintf(numbers, sizeof numbers,
                           "{\"result\":\"PATCHING\",\"percentDone\":%d,\"remainingTime\":%d,"
                           "\"remainingBytes\":%u,\"currentFile\":",
                           m_HighestPercent, remainingTime, remainingBytes);
        line = numbers;
        line += Quor::Common::JsonString(Quor::Common::StringHelper::FixPathString(m_Progress.m_CurrentItem));
        line += "}";
    }
    text += line;
}
