#include "install/ProjectVersionChoice.h"

#include <algorithm>
#include <vector>

#include "common/Log.h"
#include "common/ReleaseManifest.h"
#include "common/ReleaseVersion.h"
#include "install/AvailableReleases.h"

namespace Quor::User::UpdateAndInstallShared {

HRESULT ChooseProjectVersion(const std::string& project, const DWORD requested, IRemoteFileServer& server,
                             DWORD& chosen, AutoUpdateProgress& progress) {
    QUOR_LOG(Log::DEBUG, "%s, 0x%08lx", project.c_str(), static_cast<unsigned long>(requested));
    if (Common::IsCancelRequested(progress.GetCancelFlag())) {
        QUOR_LOG(Log::ERROR, "Cancellation request detected, aborting");
        return E_ABORT;
    }
    const bool newest = requested == INVALID_RELEASE_VERSION;
    std::vector<DWORD> releases;
    const HRESULT hr = EnumerateAvailableProjectReleases(project, server, releases, newest ? 1 : 0);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to enumerate available releases.");
        return hr;
    }
    if (releases.empty()) {
        QUOR_LOG(Log::ERROR, "No releases are available.");
        return E_FAIL;
    }
    if (newest) {
        chosen = releases.back();
        QUOR_LOG(Log::VERBOSE, "User did not ask for a version, so %d was chosen", static_cast<int>(chosen));
        return S_OK;
    }
    const auto range = std::equal_range(releases.begin(), releases.end(), requested);
    if (range.first == range.second) {
        QUOR_LOG(Log::ERROR, "Project release %d is not available", static_cast<int>(requested));
        return E_FAIL;
    }
    chosen = requested;
    QUOR_LOG(Log::VERBOSE, "User asked for version %d and it was found", static_cast<int>(chosen));
    return S_OK;
}

HRESULT IsProjectReleaseAvailable(const std::string& project, const DWORD version, IRemoteFileServer& server,
                                  bool& available) {
    (void)server;
    QUOR_LOG(Log::DEBUG, "%s, %d", project.c_str(), static_cast<int>(version));
    available = true;
    return S_OK;
}

}  // namespace Quor::User::UpdateAndInstallShared
