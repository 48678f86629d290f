#pragma once
// What the remote-content code uses of the release installation, a layer above it.
//
// EnumerateInstalledProjectReleases: appends the release versions of a project that are
// installed locally. The release installation provides it and registers it at start-up with
// SetInstalledProjectReleasesEnumerator; the remote file server calls it through
// Services::EnumerateInstalledProjectReleases, which answers E_NOTIMPL (logged) while nothing is
// registered.
// Threads: registering is thread-safe; the enumerator is called on the caller's thread.
#include <string>
#include <vector>

#include "common/LocalFileSystem.h"
#include "foundation/Types.h"

namespace Quor::User {

using InstalledProjectReleasesEnumerator = HRESULT (*)(const std::string& project,
                                                       Common::LocalFileSystem& fileSystem,
                                                       std::vector<DWORD>& releases, bool flag);

// Null unregisters.
void SetInstalledProjectReleasesEnumerator(InstalledProjectReleasesEnumerator enumerator);

namespace Services {
HRESULT EnumerateInstalledProjectReleases(const std::string& project, Common::LocalFileSystem& fileSystem,
                                          std::vector<DWORD>& releases, bool flag);
}  // namespace Services

}  // namespace Quor::User
