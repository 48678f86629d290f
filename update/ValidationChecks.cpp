#include "update/ValidationChecks.h"

#include <sys/stat.h>

#include <algorithm>

#include "common/ConvertVersion.h"
#include "common/EntryPlacement.h"
#include "common/LocalFileSystem.h"
#include "common/Log.h"
#include "foundation/CStd/CStdStrings.h"
#include "install/UpdateAndInstallShared.h"

namespace Quor::User::Validation {
namespace {

bool Describes(const char* kind, const std::string& listedName, DWORD listedVersion, const std::string& name,
               DWORD version) {
    if (Vorn::std_stricmp(listedName.c_str(), name.c_str()) == 0 && listedVersion == version) return true;
    QUOR_LOG(Log::ERROR, "The %s manifest of %s %s describes %s %s.", kind, name.c_str(),
             Common::ConvertVersion::ToString(version).c_str(), listedName.c_str(),
             Common::ConvertVersion::ToString(listedVersion).c_str());
    return false;
}

}  // namespace

bool CancelRequested(AutoUpdateProgress& progress) {
    if (!Common::IsCancelRequested(progress.GetCancelFlag())) return false;
    QUOR_LOG(Log::ERROR, "Cancellation request detected, aborting");
    return true;
}

bool IsRegularFileOrClear(const std::string& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) return false;
    if (S_ISREG(status.st_mode)) return true;
    if (!S_ISDIR(status.st_mode)) {
        QUOR_LOG(Log::WARNING, "\"%s\" is not a regular file and will be replaced.", path.c_str());
        if (FAILED(Common::LocalFileSystem::DeleteFile(path)))
            QUOR_LOG(Log::ERROR, "Failed to delete \"%s\".", path.c_str());
    }
    return false;
}

bool IsGoodCopy(const std::string& path, const Common::ReleaseManifest::ENTRY& entry, DigestAhead& ahead,
                const size_t item, Common::LocalFileSystem& fileSystem, AutoUpdateProgress& progress) {
    if (!IsRegularFileOrClear(path)) return false;
    MD5::DIGEST digest;
    if (ahead.Take(item, digest)) return std::equal(digest, digest + sizeof digest, entry.md5);
    return UpdateAndInstallShared::CheckFile(path, entry, fileSystem, progress);
}

std::string PathToHashAhead(const std::string& path, const Common::ReleaseManifest::ENTRY& entry) {
    const bool plain = Common::PlaceOf(entry) != Common::EntryPlace::kArchived &&
                       !(entry.flags & Common::ReleaseManifest::FLAG_STORED_COMPRESSED);
    return plain ? path : std::string();
}

bool DescribesRelease(const Common::ReleaseManifest& manifest, const std::string& project, DWORD version) {
    return Describes("release", manifest.m_ProjectName, manifest.m_ReleaseVersion, project, version);
}

bool DescribesRelease(const Common::SolutionManifest& manifest, const std::string& solution, DWORD version) {
    return Describes("solution", manifest.m_Name, manifest.m_Version, solution, version);
}

HRESULT MarkComplete(const std::string& okPath) {
    const HRESULT hr = UpdateAndInstallShared::CreateOkFile(okPath);
    if (FAILED(hr)) QUOR_LOG(Log::ERROR, "Failed to create S_OK file");
    return hr;
}

}  // namespace Quor::User::Validation
