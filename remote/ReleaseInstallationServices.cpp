#include "remote/ReleaseInstallationServices.h"

#include <atomic>

#include "common/Log.h"

namespace Quor::User {

namespace {
std::atomic<InstalledProjectReleasesEnumerator> g_enumerator{nullptr};
}  // namespace

void SetInstalledProjectReleasesEnumerator(InstalledProjectReleasesEnumerator enumerator) {
    g_enumerator.store(enumerator);
}

HRESULT Services::EnumerateInstalledProjectReleases(const std::string& project, Common::LocalFileSystem& fileSystem,
                                                    std::vector<DWORD>& releases, bool flag) {
    const InstalledProjectReleasesEnumerator enumerator = g_enumerator.load();
    if (!enumerator) {
        QUOR_LOG(Log::ERROR, "No enumerator of installed releases is registered (project \"%s\")", project.c_str());
        return E_NOTIMPL;
    }
    return enumerator(project, fileSystem, releases, flag);
}

}  // namespace Quor::User
