#pragma once
// The file step that settles a deploy folder before its release is marked complete: it removes
// the stale copies of earlier releases and nothing else. A deploy folder is the working folder of
// the program the release starts; what the program and its user keep there (settings, saves, the
// client's switches) is theirs, and no release lists it.
//
// A regular file is removed when the release does not list it under its own spelling but a
// release the step knows of does (names compare without regard to case): a file whose name
// changed only in case, kept under its old spelling beside the new copy, and a file of a release
// the folder was moved from, as the folder's record names it (install/PreviousManifest.h). A file no
// release lists stays, and so does every link or special file at such a name (never followed).
// A link or special file where the release lists a file is removed itself, as damage. A folder
// the step emptied is removed; a folder that was empty already stays.
//
// Runs on the job's thread; cancellation (the progress's flag, tested before each deletion) gives
// E_ABORT. The first failed deletion or listing ends the step with its result (logged); what was
// deleted before stays deleted. A missing deploy folder holds nothing to delete.
#include <set>
#include <string>
#include <vector>

#include "common/AutoUpdateProgress.h"
#include "common/LocalFileSystem.h"
#include "common/ReleaseManifest.h"
#include "foundation/Types.h"
#include "install/UpdateAndInstallSolutionShared.h"

namespace Quor::User::UpdateAndInstallShared {

// Names without regard to case, as manifests compare them.
struct CaseInsensitiveLess {
    bool operator()(const std::string& a, const std::string& b) const;
};
using KnownNames = std::set<std::string, CaseInsensitiveLess>;

// The project release's deploy folder: the releases known are the manifest's own and those of the
// folder's record of earlier releases, when it has one.
HRESULT RemoveStaleDeployFiles(const std::string& project, DWORD version, const Common::ReleaseManifest& manifest,
                               Common::LocalFileSystem& fileSystem, AutoUpdateProgress& progress);

// The solution release's deploy folder: the files are those GatherFiles lists, each in the
// spelling of the project providing it; their copies under other spellings go, and what the
// folder's record names. Files of projects an earlier configuration of the release named stay.
HRESULT RemoveStaleSolutionDeployFiles(const std::string& solution, DWORD version,
                                       const std::vector<UpdateAndInstallSolutionShared::UNMANAGED_FILE>& files,
                                       Common::LocalFileSystem& fileSystem, AutoUpdateProgress& progress);

// The rule itself, for the deploy folder at deploy: listed are the names (relative to it) the
// release keeps in their own spelling; known, every name a release the step knows of lists.
HRESULT RemoveStaleFiles(const std::string& deploy, const std::set<std::string>& listed, const KnownNames& known,
                         Common::LocalFileSystem& fileSystem, AutoUpdateProgress& progress);

}  // namespace Quor::User::UpdateAndInstallShared
