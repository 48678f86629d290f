#include "install/DownloadFilesGetFileProgressCallback.h"

#include <algorithm>

#include "common/Log.h"
#include "common/ReleaseManifest.h"

namespace Quor::User {

HRESULT DownloadFilesGetFileProgressCallback::GetFileProgressCallback(const SIZE_T bytes) {
    if (m_Stop && m_Stop->load()) return E_FAIL;
    AutoUpdateProgress& progress = m_Timer->GetAutoUpdateProgress();
    int64_t credit = static_cast<int64_t>(bytes);
    if (m_Announced >= 0) credit = std::min(credit, std::max<int64_t>(m_Announced - m_Credited, 0));
    m_Timer->DeltaBytesCompleted(credit);
    m_Credited += credit;
    progress.Tick(0);
    if (Common::IsCancelRequested(progress.GetCancelFlag())) {
        QUOR_LOG(Log::ERROR, "Cancellation request detected, aborting");
        return E_ABORT;
    }
    return S_OK;
}

}  // namespace Quor::User
