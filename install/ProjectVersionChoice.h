#pragma once
// Which release of a project to install: the newest the content server offers, or an asked-for
// release confirmed to be offered.
//
// Run on the job thread; the server object is used by that thread only. Results are HRESULTs,
// each failure logged at ERROR.
#include <string>

#include "common/AutoUpdateProgress.h"
#include "foundation/Types.h"
#include "remote/IRemoteFileServer.h"

namespace Quor::User::UpdateAndInstallShared {

// requested INVALID_RELEASE_VERSION: the newest listed release; otherwise requested itself when it
// is listed (E_FAIL when not). chosen is written only on success; E_ABORT when the progress's
// cancellation flag is set on entry.
HRESULT ChooseProjectVersion(const std::string& project, const DWORD requested, IRemoteFileServer& server,
                             DWORD& chosen, AutoUpdateProgress& progress);

// Sets available to true and returns S_OK; the server is not asked (a release it does not offer
// fails later, when its manifest cannot be fetched).
HRESULT IsProjectReleaseAvailable(const std::string& project, const DWORD version, IRemoteFileServer& server,
                                  bool& available);

}  // namespace Quor::User::UpdateAndInstallShared
