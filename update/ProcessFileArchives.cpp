#include "update/ProcessFileArchives.h"

#include <algorithm>
#include <memory>

#include "archive/ManagedFileHelper.h"
#include "common/AutoUpdateProgressHelper.h"
#include "common/Log.h"
#include "foundation/CStd/CStdStrings.h"
#include "remote/ReleaseManifestPaths.h"
#include "update/SortedKeys.h"
#include "update/StoredFileDigest.h"

namespace Quor::User {

namespace {

using Common::ReleaseManifest;

// The archived entries (flag 2; an entry flagged managed too lives under managedfiles/ and never
// in an archive) of `path` at `version` in the project's own release manifests only, one per
// manifest: another project's entry of the same name and version says nothing about this archive.
// Releases may keep the one copy in different stored forms.
std::vector<const ReleaseManifest::ENTRY*> FindOwnEntries(const Common::ReleaseManifestCache& cache,
                                                          const std::string& project, const std::string& path,
                                                          DWORD version) {
    std::vector<const ReleaseManifest::ENTRY*> entries;
    for (const auto& [key, manifest] : cache.Manifests()) {
        if (Vorn::std_stricmp(key.first.c_str(), project.c_str()) != 0) continue;
        const ReleaseManifest::ENTRY* entry = Common::FindReleaseManifestEntryInFolder(
            path, version, ReleaseManifest::FLAG_ARCHIVED, ReleaseManifest::FLAG_MANAGED, manifest.get());
        if (entry) entries.push_back(entry);
    }
    return entries;
}

bool Cancelled(AutoUpdateProgress& progress) { return Common::IsCancelRequested(progress.GetCancelFlag()); }

}  // namespace

HRESULT ProcessFileArchives(const std::string& project, const DWORD version, Common::ReleaseManifestCache& cache,
                            const std::vector<std::string>& folderNames, std::vector<std::string>& validatedFiles,
                            AutoUpdateProgress& progress, StoredForms* forms) {
    QUOR_LOG(Log::DEBUG, "(%s, %u)", project.c_str(), version);
    const char* const tag = __PRETTY_FUNCTION__;

    std::shared_ptr<FileSystem::IManager> manager;
    HRESULT hr = ManagedFileHelper::GetFileSystemManager(project, version, manager);
    if (FAILED(hr) || !manager) {
        QUOR_LOG(Log::ERROR, "Failed to get file system manager");
        return FAILED(hr) ? hr : E_FAIL;
    }

    std::vector<std::string> contents;
    manager->GetContents(contents);

    std::string prefix;
    for (const std::string& name : folderNames) prefix += name + "/";

    std::vector<std::string> toRemove;
    std::vector<std::string> validatedHere;
    StoredForms formsHere;
    for (const std::string& path : contents) {
        AutoUpdateProgressHelper::SetStringDataToFilenameFromPath(progress, path);
        if (Cancelled(progress)) return E_ABORT;

        const std::vector<const ReleaseManifest::ENTRY*> entries = FindOwnEntries(cache, project, path, version);
        if (entries.empty()) {
            QUOR_LOG(Log::DEBUG, "Failed to match in release manifest.  File will be deleted from file archive: \"%s\"",
                     path.c_str());
            toRemove.push_back(path);
            continue;
        }
        std::string archiveName;
        uint32_t offset = 0, size = 0;
        if (!manager->Find(path, archiveName, offset, size)) {
            QUOR_LOG(Log::ERROR, "Failed to find previously enumerated file in archive");
            hr = E_FAIL;
            break;
        }
        // The first entry whose stored form the bytes are in, and whose content they hold.
        const std::string dataFile = manager->GetRootDirectory() + "/" + archiveName;
        const ReleaseManifest::ENTRY* good = nullptr;
        bool computed = false;
        for (const ReleaseManifest::ENTRY* entry : entries) {
            MD5::DIGEST digest = {};
            if (FAILED(ComputeStoredFileMD5(tag, dataFile, offset, size, entry->flags, entry->size, digest))) continue;
            computed = true;
            if (std::equal(digest, digest + 16, entry->md5)) {
                good = entry;
                break;
            }
        }
        if (!computed) {
            QUOR_LOG(Log::DEBUG, "Failed to compute MD5.  File will be deleted from file archive: \"%s\"", path.c_str());
            toRemove.push_back(path);
            continue;
        }
        if (!good) {
            QUOR_LOG(Log::DEBUG, "MD5 mismatch.  File will be deleted from file archive: \"%s\"", path.c_str());
            toRemove.push_back(path);
            continue;
        }
        const std::string key = prefix + path;
        QUOR_LOG(Log::DEBUG, "Validated managed filearchives file with MD5 check: \"%s\"", key.c_str());
        if (!SortedKeys::Insert(validatedHere, key)) {
            QUOR_LOG(Log::ERROR, "We should never be checking the same file twice");
            hr = E_FAIL;
            break;
        }
        formsHere.Note(key, *good);
    }
    if (FAILED(hr)) return hr;

    for (const std::string& path : toRemove) {
        if (Cancelled(progress)) return E_ABORT;
        if (!manager->Delete(path, nullptr)) {
            QUOR_LOG(Log::ERROR, "Failed to delete an archive file marked for deletion");
            return E_FAIL;
        }
    }
    if (Cancelled(progress)) return E_ABORT;
    if (!manager->WriteArchiveFiles(false, nullptr)) {
        QUOR_LOG(Log::ERROR, "Failed to write archives");
        return E_FAIL;
    }
    for (const std::string& key : validatedHere) {
        if (Cancelled(progress)) return E_ABORT;
        SortedKeys::Insert(validatedFiles, key);
    }
    if (forms) forms->Merge(formsHere);
    return S_OK;
}

}  // namespace Quor::User
