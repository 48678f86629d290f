#include "install/DownloadFilesGetFileProgressCallback.h"

#include "common/Log.h"
#include "common/ReleaseManifest.h"

namespace Quor::User {

HRESULT DownloadFilesGetFileProgressCallback::GetFileProgressCallback(const SIZE_T bytes) {
    if (m_Stop && m_Stop->load()) return E_FAIL;
    AutoUpdateProgress& progress = m_Timer->GetAutoUpdateProgress();
    m_Timer->DeltaBytesCompleted(static_cast<int64_t>(bytes));
    m_Credited += static_cast<int64_t>(bytes);
    progress.Tick(0);
    if (Common::IsCancelRequested(progress.GetCancelFlag())) {
        QUOR_LOG(Log::ERROR, "Cancellation request detected, aborting");
        return E_ABORT;
    }
    return S_OK;
}

}  // namespace Quor::User
