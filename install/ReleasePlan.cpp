#include "install/ReleasePlan.h"

#include <sys/stat.h>

#include <algorithm>
#include <set>

#include "archive/ManagedFileHelper.h"
#include "common/AutoUpdateProgressHelper.h"
#include "common/ConvertVersion.h"
#include "common/EntryPlacement.h"
#include "common/FileSysHelper.h"
#include "common/LocalDirectoryStructure.h"
#include "common/LocalRootFolder.h"
#include "common/Log.h"
#include "install/ArchiveOrPatchPlan.h"
#include "install/InstallSteps.h"
#include "install/SolutionWithdrawal.h"
#include "install/UpdateAndInstallShared.h"
#include "remote/ReleaseManifestPaths.h"

namespace Quor::User::ReleasePlan {
namespace {

using Common::EntryPlace;
using Common::ReleaseManifest;
using ENTRY = Common::ReleaseManifest::ENTRY;

bool CancelRequested(AutoUpdateProgress& progress) { return Common::IsCancelRequested(progress.GetCancelFlag()); }

void LogMissingSharedCopy(const std::string& local) {
    QUOR_LOG(Log::ERROR,
             "Failed to find managed file \"%s\" which should be part of a previously installed release.  File will "
             "be replaced.",
             local.c_str());
}

// An archived entry's copy is good in its archive: a plain copy left at its path by an archive step
// that was stopped after its flush (the file it took the copy from) has no use any more.
void RemovePlainLeftover(const ENTRY& entry, const std::string& local) {
    struct stat status {};
    if (Common::PlaceOf(entry) != EntryPlace::kArchived || ::lstat(local.c_str(), &status) != 0 ||
        !S_ISREG(status.st_mode))
        return;
    QUOR_LOG(Log::VERBOSE, "Deleting \"%s\": its archive holds a good copy.", local.c_str());
    if (FAILED(Common::LocalFileSystem::DeleteFile(local)))
        QUOR_LOG(Log::ERROR, "Failed to delete \"%s\".", local.c_str());
}

// One calculation: the prepared folders and the shared inputs.
class Planner {
public:
    Planner(const std::string& project, DWORD version, const Sources& sources, const Choices& choices, Lists& lists,
            Common::LocalFileSystem& fileSystem, AutoUpdateProgress& progress)
        : m_Project(project),
          m_Version(version),
          m_Sources(sources),
          m_Choices(choices),
          m_Lists(lists),
          m_FileSystem(fileSystem),
          m_Progress(progress) {}

    HRESULT PrepareFolder(const std::string& local) {
        const std::string folder = local.substr(0, local.rfind('/'));
        if (m_Prepared.count(folder)) return S_OK;
        const HRESULT hr = Common::FileSysHelper::CreateDirectoryAndIntermediatePaths(folder.c_str());
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Failed to prepare path \"%s\".", folder.c_str());
            return hr;
        }
        m_Prepared.insert(folder);
        return S_OK;
    }

    // Reuse mode: whether an installed release's copy or a good existing copy serves the entry.
    HRESULT FindReusable(const ENTRY& entry, const std::string& local, bool& done) {
        done = false;
        const EntryPlace place = Common::PlaceOf(entry);
        const ReleaseManifest* holder = FindCopyHolder(m_Sources.installed, entry, m_Choices.holders);
        if (!holder) {
            const HRESULT hr = CheckExistingCopy(entry, local, done);
            if (SUCCEEDED(hr) && !done && place != EntryPlace::kDeploy) NoteDisplaced(entry, place);
            return hr;
        }
        if (place != EntryPlace::kDeploy) {
            const bool present = place == EntryPlace::kManaged
                                     ? Common::LocalFileSystem::DoesFileOrDirectoryExist(local)
                                     : ManagedFileHelper::DoesFileOrDirectoryExist(m_Project, entry.version, entry.name);
            if (!present) {
                LogMissingSharedCopy(local);
                return S_OK;
            }
            // The copy is the holder's too: a damaged one is fetched again rather than reused.
            return CheckExistingCopy(entry, local, done);
        } else if (holder->m_ReleaseVersion == m_Choices.movedRelease) {
            done = Common::LocalFileSystem::DoesFileOrDirectoryExist(local);
            if (!done)
                QUOR_LOG(Log::ERROR,
                         "Managed file \"%s\" should have been renamed from source release.  File will be "
                         "re-downloaded.",
                         local.c_str());
        } else if (m_Choices.deployCopyInPlaceFirst &&
                   UpdateAndInstallShared::CheckFile(local, entry, m_FileSystem, m_Progress)) {
            QUOR_LOG(Log::VERBOSE,
                     "File \"%s\" is already present and valid, probably due to previously interrupted install.",
                     local.c_str());
            done = true;
        } else {
            m_Lists.toCopy.push_back({&entry, local, holder});
            m_Progress.DeltaBytesTotal(WORK_TYPE_DISK_ACCESS, 2 * static_cast<int64_t>(entry.size));
            QUOR_LOG(Log::VERBOSE, "File \"%s\" (%d bytes) will be copied from another release", local.c_str(),
                     static_cast<int>(entry.size));
            done = true;
        }
        return S_OK;
    }

    // Whether the copy already where entry's goes holds its bytes (a bad archived one is dropped
    // from its archive before it is fetched again); a plain leftover beside a good archived copy goes.
    HRESULT CheckExistingCopy(const ENTRY& entry, const std::string& local, bool& done) {
        bool valid = false, archivedCopyBad = false;
        const HRESULT hr = UpdateAndInstallShared::DoesFileExistWithCorrectMD5(m_Project, m_Version, entry,
                                                                                m_FileSystem, valid, archivedCopyBad);
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Failure while looking for and checking existing file");
            return hr;
        }
        if (archivedCopyBad) m_Lists.toDeleteFromArchive.push_back({&entry});
        done = valid;
        if (done) RemovePlainLeftover(entry, local);
        return S_OK;
    }

    // The installed releases whose copy of entry lies where entry's goes, in another stored form.
    void NoteDisplaced(const ENTRY& entry, const EntryPlace place) {
        for (const ReleaseManifest* manifest : m_Sources.installed) {
            if (!manifest) continue;
            const auto [first, last] = std::equal_range(manifest->m_Entries.begin(), manifest->m_Entries.end(), entry,
                                                        ENTRY::PredicateByName);
            const bool displaced = std::any_of(first, last, [&](const ENTRY& listed) {
                return listed.version == entry.version && Common::PlaceOf(listed) == place;
            });
            std::vector<DWORD>& list = m_Lists.displaced;
            if (!displaced || std::find(list.begin(), list.end(), manifest->m_ReleaseVersion) != list.end()) continue;
            QUOR_LOG(Log::WARNING, "Release %s keeps \"%s\" in another stored form; it will no longer be complete.",
                     Common::ConvertVersion::ToString(manifest->m_ReleaseVersion).c_str(), entry.name.c_str());
            list.push_back(manifest->m_ReleaseVersion);
        }
    }

    // Verify mode: whether the copy where the entry lives is good.
    bool IsGoodCopy(size_t item, const ENTRY& entry, const std::string& local, const CopyCheck& check) {
        if (Common::PlaceOf(entry) == EntryPlace::kArchived) {
            if (!ManagedFileHelper::DoesFileOrDirectoryExist(m_Project, entry.version, entry.name)) {
                LogMissingSharedCopy(local);
                return false;
            }
            QUOR_LOG(Log::VERBOSE, "File \"%s\" is present in an archive.", local.c_str());
            // Stored whole but holding other bytes (or another form): it leaves the archive and is
            // fetched again. A check that cannot be made counts as a bad copy.
            bool valid = false, archivedCopyBad = false;
            if (SUCCEEDED(UpdateAndInstallShared::DoesFileExistWithCorrectMD5(m_Project, m_Version, entry, m_FileSystem,
                                                                             valid, archivedCopyBad)) &&
                valid) {
                RemovePlainLeftover(entry, local);
                return true;
            }
            QUOR_LOG(Log::WARNING, "File \"%s\" MD5 check FAILED!", local.c_str());
            m_Lists.toDeleteFromArchive.push_back({&entry});
            return false;
        }
        const bool good =
            check ? check(item, entry, local) : UpdateAndInstallShared::CheckFile(local, entry, m_FileSystem, m_Progress);
        if (!good) QUOR_LOG(Log::WARNING, "File \"%s\" MD5 check FAILED!", local.c_str());
        return good;
    }

    bool PlanArchiveOrPatch(const ENTRY& entry, const std::string& local) {
        return UpdateAndInstallShared::PlanArchiveOrPatch(entry, local, m_Sources.patch, m_Sources.patchSource,
                                                          m_Choices.patchKind, m_Lists.toArchive, m_Lists.toPatch,
                                                          m_FileSystem, m_Progress);
    }

    void PlanDownload(const ENTRY& entry, const std::string& local) {
        m_Lists.toDownload.push_back({&entry, local});
        UpdateAndInstallShared::AddDownloadBytesToTotal(m_Progress, entry);
        if (m_Choices.downloadMessage)
            QUOR_LOG(Log::VERBOSE, m_Choices.downloadMessage, local.c_str(), static_cast<int>(entry.size),
                     static_cast<int>(entry.compressedSize));
    }

private:
    const std::string& m_Project;
    const DWORD m_Version;
    const Sources& m_Sources;
    const Choices& m_Choices;
    Lists& m_Lists;
    Common::LocalFileSystem& m_FileSystem;
    AutoUpdateProgress& m_Progress;
    // Compared byte for byte: on a case-sensitive volume "Data/" and "data/" are two folders.
    std::set<std::string> m_Prepared;
};

}  // namespace

std::string EntryLocalPath(const std::string& project, const DWORD version, const ENTRY& entry) {
    std::string relative;
    Common::GetLocalFilePath(relative, project, version, entry);
    return Common::LocalRootFolder::Get() + relative;
}

HRESULT WithdrawDisplaced(const std::string& project, const std::vector<DWORD>& displaced) {
    QUOR_LOG(Log::DEBUG, "%s", "");
    for (const DWORD version : displaced) {
        std::string okPath;
        HRESULT hr = Common::LocalDirectoryStructure::GetProjectReleaseOkPath(project, version, okPath);
        if (SUCCEEDED(hr) && Common::LocalFileSystem::DoesFileOrDirectoryExist(okPath)) {
            QUOR_LOG(Log::VERBOSE, "Deleting %s", okPath.c_str());
            hr = Common::LocalFileSystem::DeleteFile(okPath);
        }
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Failed to delete the S_OK of release %s, whose copies are replaced.",
                     Common::ConvertVersion::ToString(version).c_str());
            return hr;
        }
        // The solution releases standing over it are no longer complete either.
        Common::LocalFileSystem fileSystem;
        hr = WithdrawSolutionsUsing({project, version}, fileSystem);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

void NoteReleasesDisplacedBy(const ReleaseManifest& release, const std::vector<const ReleaseManifest*>& others,
                             std::vector<DWORD>& displaced) {
    for (const ReleaseManifest* other : others) {
        if (!other || other == &release || other->m_ReleaseVersion == release.m_ReleaseVersion) continue;
        if (std::find(displaced.begin(), displaced.end(), other->m_ReleaseVersion) != displaced.end()) continue;
        const auto replaced = std::find_if(release.m_Entries.begin(), release.m_Entries.end(), [&](const ENTRY& entry) {
            return Common::PlaceOf(entry) != EntryPlace::kDeploy && ListsSameLocation(*other, entry) &&
                   !ListsSameCopy(*other, entry);
        });
        if (replaced == release.m_Entries.end()) continue;
        QUOR_LOG(Log::WARNING, "Release %s keeps \"%s\" in another stored form; it will no longer be complete.",
                 Common::ConvertVersion::ToString(other->m_ReleaseVersion).c_str(), replaced->name.c_str());
        displaced.push_back(other->m_ReleaseVersion);
    }
}

Choices ForUpdateInPlace(const DWORD sourceVersion, const DWORD patchKind) {
    Choices choices;
    choices.holders = HolderChoice::kHighest;
    choices.movedRelease = sourceVersion;
    choices.deployCopyInPlaceFirst = false;
    choices.patchKind = patchKind;
    choices.downloadMessage = "File \"%s\" (%d bytes) will be downloaded (%d bytes compressed)";
    return choices;
}

HRESULT Calculate(const std::string& project, const DWORD version, const ReleaseManifest& manifest,
                  const Sources& sources, const Choices& choices, Lists lists, Common::LocalFileSystem& fileSystem,
                  AutoUpdateProgress& progress, const CopyCheck& check) {
    QUOR_LOG(Log::DEBUG, "%s", "");
    if (CancelRequested(progress)) {
        QUOR_LOG(Log::ERROR, "Cancellation request detected, aborting");
        return E_ABORT;
    }
    Planner planner(project, version, sources, choices, lists, fileSystem, progress);
    const bool reuse = choices.mode == Choices::Mode::kReuse;
    for (size_t item = 0; item < manifest.m_Entries.size(); ++item) {
        const ENTRY& entry = manifest.m_Entries[item];
        AutoUpdateProgressHelper::SetStringDataToFilenameFromPath(progress, entry.name);
        progress.Tick(0);
        if (CancelRequested(progress)) {
            QUOR_LOG(Log::ERROR, "%s",
                     choices.cancelBetweenEntries == E_ABORT ? "Cancellation request detected, aborting"
                                                             : "Cancellation detected, aborting");
            return choices.cancelBetweenEntries;
        }
        const std::string local = EntryLocalPath(project, version, entry);
        if (local.find('/') == std::string::npos) {
            QUOR_LOG(Log::ERROR, "Invalid path \"%s\".", local.c_str());
            return E_FAIL;
        }
        HRESULT hr = choices.prepareEveryFolder ? planner.PrepareFolder(local) : S_OK;
        if (FAILED(hr)) return hr;

        if (reuse) {
            bool done = false;
            hr = planner.FindReusable(entry, local, done);
            if (FAILED(hr)) return hr;
            if (done || planner.PlanArchiveOrPatch(entry, local)) continue;
        } else {
            if (planner.IsGoodCopy(item, entry, local, check)) continue;
            QUOR_LOG(Log::VERBOSE, "File failed verification. Adding to download list.");
            // The download step places files into existing folders only (archived ones go to their archive).
            if (Common::PlaceOf(entry) != EntryPlace::kArchived) {
                hr = planner.PrepareFolder(local);
                if (FAILED(hr)) return hr;
            }
        }
        planner.PlanDownload(entry, local);
    }
    return S_OK;
}

}  // namespace Quor::User::ReleasePlan
