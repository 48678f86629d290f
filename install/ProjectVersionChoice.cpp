#include "install/ProjectVersionChoice.h"

#include <vector>

#include "common/Log.h"
#include "common/ReleaseManifest.h"
#include "common/ReleaseVersion.h"
#include "install/AvailableReleases.h"
#include "install/ListedReleaseChoice.h"

namespace Quor::User::UpdateAndInstallShared {

HRESULT ChooseProjectVersion(const std::string& project, const DWORD requested, IRemoteFileServer& server,
                             DWORD& chosen, AutoUpdateProgress& progress) {
    QUOR_LOG(Log::DEBUG, "%s, 0x%08lx", project.c_str(), static_cast<unsigned long>(requested));
    if (Common::IsCancelRequested(progress.GetCancelFlag())) {
        QUOR_LOG(Log::ERROR, "Cancellation request detected, aborting");
        return E_ABORT;
    }
    std::vector<DWORD> releases;
    const HRESULT hr = EnumerateAvailableProjectReleases(project, server, releases,
                                                         requested == INVALID_RELEASE_VERSION ? 1 : 0);
    return ChooseListedRelease(__PRETTY_FUNCTION__, "Project", hr, releases, requested, chosen);
}

HRESULT IsProjectReleaseAvailable(const std::string& project, const DWORD version, IRemoteFileServer& server,
                                  bool& available) {
    (void)server;
    QUOR_LOG(Log::DEBUG, "%s, %d", project.c_str(), static_cast<int>(version));
    available = true;
    return S_OK;
}

}  // namespace Quor::User::UpdateAndInstallShared
