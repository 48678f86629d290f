#include "archive/ReaderLock.h"

#include <algorithm>

#include "archive/ManagedFileHelper.h"
#include "common/ConvertVersion.h"
#include "common/EntryPlacement.h"
#include "common/LocalRootFolder.h"
#include "common/Log.h"
#include "common/StringHelper.h"

namespace Quor::User {

HRESULT LockFile(const std::string& project, const DWORD version, const std::string& path,
                 Common::ReleaseManifestCache& cache, std::string& filePath, uint32_t& offset, uint32_t& size,
                 uint32_t& handle) {
    QUOR_LOG(Log::VERBOSE, "(%s, 0x%08lx, %s)", project.c_str(), static_cast<unsigned long>(version), path.c_str());
    filePath.clear();
    offset = 0;
    size = 0;
    handle = kNoLockHandle;

    const Common::ReleaseManifest* manifest = nullptr;
    const HRESULT hr = cache.Get(project, version, manifest);
    if (FAILED(hr) || !manifest) {
        QUOR_LOG(Log::ERROR, "Failed to load manifest from cache");
        return FAILED(hr) ? hr : E_FAIL;
    }

    Common::ReleaseManifest::ENTRY probe;
    probe.name = Common::StringHelper::FixPathString(path);
    const auto run = std::equal_range(manifest->m_Entries.begin(), manifest->m_Entries.end(), probe,
                                      Common::ReleaseManifest::ENTRY::PredicateByName);
    if (run.first == run.second) {
        QUOR_LOG(Log::DEBUG, "\"%s\" was not found in manifest, opening at relative path. ", path.c_str());
        filePath = path;
        return hr;
    }
    if (run.second - run.first > 1)
        QUOR_LOG(Log::ERROR, "\"%s\" has multiple entries in manifest. ", path.c_str());
    const Common::ReleaseManifest::ENTRY& entry = *run.first;

    const std::string projectFolder = Common::LocalRootFolder::Get() + "/projects/" + project;
    const Common::EntryPlace place = Common::PlaceOf(entry);
    if (place == Common::EntryPlace::kManaged) {
        filePath = projectFolder + "/managedfiles/" + Common::ConvertVersion::ToString(entry.version) + "/" + entry.name;
        return hr;
    }
    if (place == Common::EntryPlace::kArchived) {
        const HRESULT locked =
            ManagedFileHelper::LockFile(project, entry.version, entry.name, filePath, offset, size, handle);
        if (FAILED(locked)) {
            QUOR_LOG(Log::ERROR, "ManagedFileHelper::LockFile failed");
            filePath.clear();
            offset = 0;
            size = 0;
            handle = kNoLockHandle;
            return locked;
        }
        return locked;
    }
    filePath = projectFolder + "/releases/" + Common::ConvertVersion::ToString(version) + "/deploy/" + entry.name;
    return hr;
}

HRESULT UnlockFile(const DWORD handle) {
    QUOR_LOG(Log::VERBOSE, "(0x%08lx)", static_cast<unsigned long>(handle));
    if (handle == kNoLockHandle) return S_OK;
    return ManagedFileHelper::UnlockFile(handle);
}

}  // namespace Quor::User
