#pragma once
// Validation of the installed releases of one project or one solution: every file their manifests
// list is checked (MD5 of plain and managed files, presence of archived ones), whatever is missing
// or wrong is fetched again (or, for a solution's deploy folder, copied again from its project),
// and each release walked is marked complete with "S_OK", incomplete ones included. Nothing is
// walked unless the project or solution has at least one complete release.
//
// Results: S_OK; E_ABORT (0x80004004) when the progress's cancellation flag is seen (between two
// files or two releases); otherwise the first failing set-up, fetch, copy or marking. The first
// failure ends the walk; releases marked before it keep their "S_OK", the failing one gets none.
// Runs on the job's thread; uses the process's working folder through the installed-state
// listings (restored on return) and the archive managers of ManagedFileHelper.
#include <string>

#include "common/AutoUpdateProgress.h"
#include "common/LocalFileSystem.h"
#include "foundation/Types.h"
#include "remote/IRemoteFileServer.h"

namespace Quor::User {

HRESULT ValidateProject(const std::string& project, Common::LocalFileSystem& fileSystem, IRemoteFileServer& server,
                        AutoUpdateProgress& progress);

// A solution release is validated through the project releases its configuration names (each as
// ValidateProject validates one release) and the plain files its deploy folder takes from them.
// A complete release whose manifests cannot be read fails the validation; an incomplete one is
// logged and left without "S_OK".
HRESULT ValidateSolution(const std::string& solution, Common::LocalFileSystem& fileSystem, IRemoteFileServer& server,
                         AutoUpdateProgress& progress);

}  // namespace Quor::User
