#pragma once
// The one planning step of installation, update in place and validation: for every entry of a
// release manifest, in manifest order, where its copy lives (EntryLocalPath, by Common::PlaceOf),
// whether a good copy is there or held by an installed release (User::FindCopyHolder), and else
// how it will be obtained: copied from an installed release, its bad archived copy dropped, a
// plain leftover archived, patched, or downloaded. The expected bytes are announced to the
// progress as 64-bit counts while the lists are made. The operations differ only in the Choices
// below (kInstall, ForUpdateInPlace, kValidate).
//
// Reads file contents only where a check demands it; creates the folders the copies go into.
// Appends to the caller's lists, whose records point into the manifests given (they must outlive
// the execution). Runs on the job's thread; cancellation is the progress's flag. Every failure is
// logged at ERROR before it is returned.
#include <functional>
#include <string>
#include <vector>

#include "common/AutoUpdateProgress.h"
#include "common/LocalFileSystem.h"
#include "common/ReleaseManifest.h"
#include "common/ReleaseVersion.h"
#include "foundation/Types.h"
#include "install/CopyHolders.h"
#include "install/WorkLists.h"
#include "remote/PatchManifest.h"

namespace Quor::User::ReleasePlan {

// {root} followed by Common::GetLocalFilePath: where release `version` of project keeps entry's copy.
std::string EntryLocalPath(const std::string& project, DWORD version, const Common::ReleaseManifest::ENTRY& entry);

struct Choices {
    // Reuse: installed releases' copies, existing copies checked by MD5, plain leftovers of archived
    // entries and patches (install, update). Verify: every copy is checked where it lies and a bad
    // or missing one is fetched again (validation).
    enum class Mode { kReuse, kVerify };
    Mode mode = Mode::kReuse;
    // The release a deploy file is copied from when several installed releases hold it.
    HolderChoice holders = HolderChoice::kLowest;
    // The release whose folder became the target's folder (update in place): a deploy file it
    // holds came along with the folder. INVALID_RELEASE_VERSION: none.
    DWORD movedRelease = INVALID_RELEASE_VERSION;
    // Whether a deploy file that an installed release holds is first looked for, valid, at its own
    // path (an interrupted install) before it is copied.
    bool deployCopyInPlaceFirst = true;
    // What a cancellation seen between entries answers: E_ABORT ("Cancellation request detected,
    // aborting"), or for an installation's discovery E_FAIL ("Cancellation detected, aborting").
    HRESULT cancelBetweenEntries = E_ABORT;
    // Or-ed into the kind of every patch (FileToPatch::KIND_IN_PLACE: the patch starts from the
    // folder being updated).
    DWORD patchKind = 0;
    // Whether the folder of every entry is prepared (Reuse), or only that of a file to fetch into
    // place (Verify; an archived one goes into its archive).
    bool prepareEveryFolder = true;
    // printf format of the VERBOSE line of a download (path, size, compressed size); null: none.
    const char* downloadMessage = nullptr;
};

// An installation (also the fresh-install road of an update): the lowest holder, a deploy file
// first looked for at its own path, and a cancellation between entries is a general failure.
inline constexpr Choices kInstall{Choices::Mode::kReuse, HolderChoice::kLowest, INVALID_RELEASE_VERSION, true, E_FAIL,
                                  0, true, "File \"%s\" (%d bytes uncompressed) will be downloaded"};
// An update in place from sourceVersion, whose folder became the target's: the highest holder, a
// deploy file of another holder always copied, patches or-ed with patchKind.
Choices ForUpdateInPlace(DWORD sourceVersion, DWORD patchKind);
// A validation: every copy checked where it lies.
inline constexpr Choices kValidate{Choices::Mode::kVerify, HolderChoice::kLowest, INVALID_RELEASE_VERSION, false,
                                   E_ABORT, 0, false, nullptr};

// What a plan may take files from; every pointer may be null.
struct Sources {
    const std::vector<const Common::ReleaseManifest*>& installed;  // complete releases, ascending
    const Common::PatchManifest* patch = nullptr;
    const Common::ReleaseManifest* patchSource = nullptr;
};

struct Lists {
    std::vector<FileToDownload>& toDownload;
    std::vector<FileToPatch>& toPatch;
    std::vector<FileToCopy>& toCopy;
    std::vector<FileToArchive>& toArchive;
    std::vector<FileToDeleteFromArchive>& toDeleteFromArchive;
    // Installed releases whose managed or archived copy of an entry (same name, entry version and
    // place, another stored form) the plan replaces: they stop being complete (WithdrawDisplaced).
    std::vector<DWORD>& displaced;
};

// Deletes the "S_OK" of each displaced release of project that has one, and of every complete
// solution release that lists it, before the execution changes any copy; the first failure is
// returned.
HRESULT WithdrawDisplaced(const std::string& project, const std::vector<DWORD>& displaced);

// Appends to displaced each release of `others` (skipping null ones and release itself) that keeps a
// managed or archived copy of an entry of release where that entry's copy lies, in another stored
// form: once release is complete over its copies, such a release cannot be (a validation that
// completes release withdraws them with WithdrawDisplaced).
void NoteReleasesDisplacedBy(const Common::ReleaseManifest& release,
                             const std::vector<const Common::ReleaseManifest*>& others, std::vector<DWORD>& displaced);

// Verify mode: whether the plain or managed file at path is a good copy of entry, the item-th of
// the manifest. Without one, UpdateAndInstallShared::CheckFile decides.
using CopyCheck = std::function<bool(size_t item, const Common::ReleaseManifest::ENTRY&, const std::string& path)>;

// Sorts every entry of manifest (release `version` of project) into the lists. S_OK, the
// cancellation's result, or the failure of a path, a folder or an MD5 check of an existing copy.
HRESULT Calculate(const std::string& project, DWORD version, const Common::ReleaseManifest& manifest,
                  const Sources& sources, const Choices& choices, Lists lists, Common::LocalFileSystem& fileSystem,
                  AutoUpdateProgress& progress, const CopyCheck& check = {});

}  // namespace Quor::User::ReleasePlan
