#pragma once
// The walk behind ValidateProject and ValidateSolution (update/Validate.h), and its steps.
//
// Every function runs on the job's thread, logs each failure at ERROR and returns it; the
// progress's cancellation flag is read before every release and every file and gives E_ABORT.
// Manifests are the caller's and must outlive the call; the work lists point into them.
#include <string>
#include <vector>

#include "common/AutoUpdateProgress.h"
#include "common/LocalFileSystem.h"
#include "common/ReleaseManifest.h"
#include "foundation/Types.h"
#include "install/WorkLists.h"
#include "remote/IRemoteFileServer.h"

namespace Quor::User::Validation {

enum class Tree { kProjects, kSolutions };

// Validates every release folder of the project or solution, complete or not, in ascending order,
// until the first failure (see update/Validate.h).
HRESULT DoValidation(Tree tree, const std::string& name, Common::LocalFileSystem& fileSystem,
                     IRemoteFileServer& server, AutoUpdateProgress& progress);

// Appends to downloads, in manifest order, every entry of the project release that manifest
// describes whose copy is missing or wrong, all by MD5: plain and managed files where they lie
// (anything but a regular file fails, and a link or special file there is removed unread),
// archived ones as their archive pair of their version holds them; a bad archived copy is also
// appended to toDeleteFromArchive. Prepares the folder of every plain or managed file to fetch.
// Fails only on cancellation or when such a folder cannot be made.
HRESULT CalculateWorkStep(const std::string& project, const Common::ReleaseManifest& manifest,
                          Common::LocalFileSystem& fileSystem, AutoUpdateProgress& progress,
                          std::vector<FileToDownload>& downloads,
                          std::vector<FileToDeleteFromArchive>& toDeleteFromArchive);

// One project release as the walk validates it: when a complete release keeps one of its managed
// or archived copies in another stored form, an incomplete release is left as it is (S_OK), and a
// complete one takes the copies: the others lose their "S_OK" (and so do the solution releases
// over them). Then CalculateWorkStep, the removal of bad archived copies, the download
// step (also when nothing is to be fetched), the removal of deploy files the manifest does not
// list, then the release's "S_OK".
HRESULT ValidateProjectRelease(const std::string& project, const Common::ReleaseManifest& manifest,
                               Common::LocalFileSystem& fileSystem, IRemoteFileServer& server,
                               AutoUpdateProgress& progress);

}  // namespace Quor::User::Validation
