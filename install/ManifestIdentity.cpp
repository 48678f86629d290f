#include "install/ManifestIdentity.h"

#include "common/ConvertVersion.h"
#include "common/Log.h"
#include "foundation/CStd/CStdStrings.h"

namespace Quor::User {

bool IsManifestOfRelease(const Common::ReleaseManifest& manifest, const std::string& project, DWORD version) {
    if (Vorn::std_stricmp(manifest.m_ProjectName.c_str(), project.c_str()) == 0 && manifest.m_ReleaseVersion == version)
        return true;
    QUOR_LOG(Log::ERROR, "The release manifest of %s %s describes %s %s.", project.c_str(),
             Common::ConvertVersion::ToString(version).c_str(), manifest.m_ProjectName.c_str(),
             Common::ConvertVersion::ToString(manifest.m_ReleaseVersion).c_str());
    return false;
}

}  // namespace Quor::User
