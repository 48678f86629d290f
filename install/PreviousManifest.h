#pragma once
// The record of the releases a release folder was moved from: "deployfiles.previous" in a project
// or solution release folder, a file in the release manifest format whose deploy entries name the
// files of every release that the folder held before it was given its present version. An update
// in place makes it when it moves its source's folder to the target's name; an install over a
// folder that still holds another release's manifest makes it from that manifest (merged into a
// record already there). It lives until the folder's "S_OK" is written (Forget), so that an
// interrupted update, run again, knows which files in the deploy folder are stale copies of an
// earlier release and which the program and its user keep there.
//
// Each change of the record is one rename (a merge is written aside in {root}/temp first), so a
// crash leaves the old record or the new one, never a torn one. A record that cannot be read is
// taken as no record: nothing is removed on its word. Runs on the job's thread; no state.
#include <string>
#include <vector>

#include "common/AutoUpdateProgress.h"
#include "common/ReleaseManifest.h"
#include "foundation/Types.h"

namespace Quor::User::PreviousManifest {

inline constexpr const char* kFileName = "deployfiles.previous";

// Keeps the folder's "releasemanifest" (the source's, the folder having just been moved) as its
// record, in place of one left there. Undo puts it back.
HRESULT TakeFromMovedFolder(const std::string& releaseFolder);
HRESULT Undo(const std::string& releaseFolder);

// Before a release is installed over a folder without "S_OK": when the folder's "releasemanifest"
// describes another release of the project, its deploy entries join the record. A manifest that
// is missing, unreadable or of another project says nothing and is left as it is.
HRESULT KeepForeign(const std::string& project, DWORD version, const std::string& releaseFolder,
                    const signed char* cancel);

// The solution release folder's counterpart of KeepForeign: when its "solutionmanifest"
// describes another release of the solution, the files that release's configuration (its
// "configurationmanifest") takes from its projects join the record. What cannot be read says
// nothing.
HRESULT KeepForeignSolution(const std::string& solution, DWORD version, const std::string& releaseFolder,
                            AutoUpdateProgress& progress);

// Adds the names (relative to the deploy folder) to the record, which is made when missing.
HRESULT AddNames(const std::string& releaseFolder, const std::vector<std::string>& names, const signed char* cancel);

// The record, when there is one that can be read; present false otherwise.
HRESULT Load(const std::string& releaseFolder, Common::ReleaseManifest& record, bool& present,
             const signed char* cancel);

// Removes the record (a missing one is no failure).
HRESULT Forget(const std::string& releaseFolder);

// Once the release's "S_OK" is written: Forget, whose failure is only logged (the record of a
// complete release is removed by the next install or validation of it, and names nothing then).
void ForgetOnceComplete(const std::string& project, DWORD version);
void ForgetOnceCompleteFolder(const std::string& releaseFolder);

}  // namespace Quor::User::PreviousManifest
