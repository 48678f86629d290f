#include "remote/RemoteFileServerHTTP.h"

#include <algorithm>

#include "common/ConvertVersion.h"
#include "common/LocalDirectoryStructure.h"
#include "common/Log.h"
#include "common/ReleaseVersion.h"
#include "remote/ReleaseInstallationServices.h"
#include "remote/HTTPTransfers.h"
#include "remote/ReleaseListing.h"
#include "remote/ServerSettings.h"

namespace Quor::User {

using Common::ConvertVersion;

namespace {

#define QUOR_RFS "Quor::User::RemoteFileServerHTTP::"
const char* const TAG_GET_FILE_SIZE = "virtual HRESULT " QUOR_RFS "GetFileSize(const std::string &, DWORD &)";
const char* const TAG_PATCHES =
    "virtual HRESULT " QUOR_RFS "EnumerateAvailablePatches(const std::string &, const DWORD, std::vector<DWORD> &, "
    "const DWORD)";
#undef QUOR_RFS

// What differs between the solution and the project enumerations.
struct Kind {
    const char* tagRegionFree;
    const char* tagRegion;
    const char* folder;  // "/solutions/" or "/projects/"
    HRESULT (*retrieve)(const std::string&, const std::string&, Common::HTTPConnection&, Common::LocalFileSystem&,
                        std::vector<DWORD>&);
    const char* emptyRegion;
    const char* fallback;
    const char* generalFailure;
    const char* found;
    const char* pending;
};

#define QUOR_RFS "Quor::User::RemoteFileServerHTTP::"
const Kind kSolution{
    "virtual HRESULT " QUOR_RFS "EnumerateAvailableSolutionReleases(const std::string &, std::vector<DWORD> &, "
    "const unsigned int)",
    "virtual HRESULT " QUOR_RFS "EnumerateAvailableSolutionReleasesForRegion(const std::string &, "
    "const std::string &, std::vector<DWORD> &, const unsigned int)",
    "/solutions/",
    &Common::ReleaseListing::RetrieveSolutionReleaseListing,
    "No region code provided, cannot enumerate available solution releases.",
    "Couldn't retrieve solution release listing for region %s, looking for general solution release listing",
    "Error retrieving solution release listing",
    "Found valid solution release \"%s\".",
    "Found pending solution release \"%s\".",
};
const Kind kProject{
    "virtual HRESULT " QUOR_RFS "EnumerateAvailableProjectReleases(const std::string &, std::vector<DWORD> &, "
    "const unsigned int)",
    "virtual HRESULT " QUOR_RFS "EnumerateAvailableProjectReleasesForRegion(const std::string &, "
    "const std::string &, std::vector<DWORD> &, const unsigned int)",
    "/projects/",
    &Common::ReleaseListing::RetrieveProjectReleaseListing,
    "No region code provided, cannot enumerate available project releases.",
    "Couldn't retrieve project release listing for region %s, looking for general project release listing",
    "Error retrieving project release listing",
    "Found valid project release \"%s\".",
    "Found pending project release \"%s\".",
};
#undef QUOR_RFS

// FileExists with up to three tries (no reconnect); the messages name what is looked for.
HRESULT CheckExistsWithRetries(Common::HTTPConnection& connection, const std::string& path, BOOL& exists,
                               const char* tag, const char* retrying, const char* retryingAgain,
                               const char* givingUp) {
    HRESULT result = connection.FileExists(path, exists);
    if (SUCCEEDED(result)) return result;
    QUOR_LOG_TAG(Log::ERROR, tag, "%s", retrying);
    result = connection.FileExists(path, exists);
    if (SUCCEEDED(result)) return result;
    QUOR_LOG_TAG(Log::ERROR, tag, "%s", retryingAgain);
    result = connection.FileExists(path, exists);
    if (SUCCEEDED(result)) return result;
    QUOR_LOG_TAG(Log::ERROR, tag, "%s", givingUp);
    return result;
}

HRESULT EnumerateForRegion(const Kind& kind, Common::HTTPConnection& connection, Common::LocalFileSystem& fileSystem,
                           const std::string& name, const std::string& region, std::vector<DWORD>& releases,
                           unsigned int maxCount) {
    QUOR_LOG_TAG(Log::DEBUG, kind.tagRegion, "(\"%s\", \"%s\", %d)", name.c_str(), region.c_str(), maxCount);
    if (region.empty()) {
        QUOR_LOG_TAG(Log::ERROR, kind.tagRegion, "%s", kind.emptyRegion);
        return E_FAIL;
    }
    if (!Common::LocalDirectoryStructure::IsValidName(region)) {
        // The region names a listing and a marker file on the server: it must be one plain name.
        QUOR_LOG_TAG(Log::ERROR, kind.tagRegion, "Refusing region code \"%s\".", region.c_str());
        return E_FAIL;
    }

    if (SUCCEEDED(kind.retrieve(name, region, connection, fileSystem, releases))) {
        std::sort(releases.begin(), releases.end());
        return S_OK;
    }
    QUOR_LOG_TAG(Log::DEBUG, kind.tagRegion, kind.fallback, region.c_str());

    std::vector<DWORD> general;
    HRESULT result = kind.retrieve(name, "", connection, fileSystem, general);
    if (FAILED(result)) {
        QUOR_LOG_TAG(Log::ERROR, kind.tagRegion, "%s", kind.generalFailure);
        return result;
    }

    const std::string marker = region + "_OK";
    unsigned int found = 0;
    for (DWORD version : general) {
        const std::string versionText = ConvertVersion::ToString(version);
        const std::string path =
            Common::GetDownloadPath() + kind.folder + name + "/releases/" + versionText + "/" + marker;
        BOOL exists = FALSE;
        result = CheckExistsWithRetries(connection, path, exists, kind.tagRegion,
                                        "Error checking for S_OK file, retrying",
                                        "Error checking for S_OK file, retrying a second time",
                                        "Checking for S_OK file failed after three attempts, giving up.");
        if (FAILED(result)) {
            QUOR_LOG_TAG(Log::ERROR, kind.tagRegion, "Error checking for S_OK file");
            break;
        }
        if (exists) {
            QUOR_LOG_TAG(Log::DEBUG, kind.tagRegion, kind.found, versionText.c_str());
            releases.push_back(version);
            if (maxCount != 0 && ++found == maxCount) break;
        } else {
            QUOR_LOG_TAG(Log::DEBUG, kind.tagRegion, kind.pending, versionText.c_str());
        }
    }
    std::sort(releases.begin(), releases.end());
    return result;
}

}  // namespace

RemoteFileServerHTTP::RemoteFileServerHTTP(HRESULT& result, const std::string& address, unsigned transfersInFlight)
    : m_connection(std::make_shared<Common::HTTPConnection>(result, address, 80, 30, false, nullptr)),
      m_transfersInFlight(transfersInFlight) {}

RemoteFileServerHTTP::RemoteFileServerHTTP(const std::shared_ptr<Common::HTTPConnection>& connection,
                                           unsigned transfersInFlight)
    : m_connection(connection), m_transfersInFlight(transfersInFlight) {}

std::unique_ptr<Common::IFileTransfers> RemoteFileServerHTTP::CreateFileTransfers() {
    if (m_transfersInFlight <= 1 || !m_connection) return nullptr;
    HRESULT result = S_OK;
    auto transfers = std::make_unique<Common::HTTPTransfers>(result, *m_connection, m_transfersInFlight);
    if (FAILED(result)) return nullptr;  // logged; one download at a time then
    return transfers;
}

HRESULT RemoteFileServerHTTP::GetFile(const std::string& remotePath, const std::string& localPath,
                                      Common::IGetFileProgressCallback* const callback, const bool flag) {
    return m_connection->GetFile(remotePath, localPath, callback, flag, true, false, nullptr);
}

HRESULT RemoteFileServerHTTP::GetFileSize(const std::string& remotePath, DWORD& size) {
    HRESULT result = E_FAIL;
    for (int attempt = 0; attempt < 3; ++attempt) {
        size = 0;
        BOOL exists = FALSE;
        QWORD wide = 0;
        result = m_connection->GetFileSize(remotePath, exists, wide);
        if (SUCCEEDED(result)) {
            if (wide > 0xFFFFFFFFull) {
                // The server answered: asking again would give the same size.
                QUOR_LOG_TAG(Log::ERROR, TAG_GET_FILE_SIZE, "The size of \"%s\", %llu bytes, is past 4294967295 bytes",
                             remotePath.c_str(), static_cast<unsigned long long>(wide));
                return E_FAIL;
            }
            size = static_cast<DWORD>(wide);
            return result;
        }
        QUOR_LOG_TAG(Log::ERROR, TAG_GET_FILE_SIZE, "Error retrieving file, retrying");
        QUOR_LOG_TAG(Log::DEBUG, TAG_GET_FILE_SIZE,
                     "It looks like the connection was dropped -- attempting a reconnect.");
        m_connection->Reconnect();
    }
    return result;
}

const std::string& RemoteFileServerHTTP::GetDownloadPath() { return Common::GetDownloadPath(); }

HRESULT RemoteFileServerHTTP::EnumerateAvailableSolutionReleases(const std::string& solution,
                                                                 std::vector<DWORD>& releases,
                                                                 const unsigned int maxCount) {
    QUOR_LOG_TAG(Log::DEBUG, kSolution.tagRegionFree, "(\"%s\", %d)", solution.c_str(), maxCount);
    const std::string region = Common::GetSystemSettings().Get(Common::SETTING_REGION);
    return EnumerateAvailableSolutionReleasesForRegion(solution, region, releases, maxCount);
}

HRESULT RemoteFileServerHTTP::EnumerateAvailableProjectReleases(const std::string& project,
                                                                std::vector<DWORD>& releases,
                                                                const unsigned int maxCount) {
    QUOR_LOG_TAG(Log::DEBUG, kProject.tagRegionFree, "(\"%s\", %d)", project.c_str(), maxCount);
    const std::string region = Common::GetSystemSettings().Get(Common::SETTING_REGION);
    return EnumerateAvailableProjectReleasesForRegion(project, region, releases, maxCount);
}

HRESULT RemoteFileServerHTTP::EnumerateAvailableSolutionReleasesForRegion(const std::string& solution,
                                                                          const std::string& region,
                                                                          std::vector<DWORD>& releases,
                                                                          const unsigned int maxCount) {
    return EnumerateForRegion(kSolution, *m_connection, m_fileSystem, solution, region, releases, maxCount);
}

HRESULT RemoteFileServerHTTP::EnumerateAvailableProjectReleasesForRegion(const std::string& project,
                                                                         const std::string& region,
                                                                         std::vector<DWORD>& releases,
                                                                         const unsigned int maxCount) {
    return EnumerateForRegion(kProject, *m_connection, m_fileSystem, project, region, releases, maxCount);
}

HRESULT RemoteFileServerHTTP::EnumerateAvailablePatches(const std::string& project, const DWORD release,
                                                        std::vector<DWORD>& patches, const DWORD sourceRelease) {
    QUOR_LOG_TAG(Log::DEBUG, TAG_PATCHES, "(\"%s\", 0x%08lx, 0x%08lx)", project.c_str(),
                 static_cast<unsigned long>(release), static_cast<unsigned long>(sourceRelease));
    std::vector<DWORD> candidates;
    if (sourceRelease == INVALID_RELEASE_VERSION) {
        Common::LocalFileSystem fileSystem;
        const HRESULT result = Services::EnumerateInstalledProjectReleases(project, fileSystem, candidates, false);
        if (FAILED(result)) {
            QUOR_LOG_TAG(Log::ERROR, TAG_PATCHES,
                         "Error enumerating installed project releases so that we could check for patches for them");
            return result;
        }
    } else {
        candidates.push_back(sourceRelease);
    }

    HRESULT result = S_OK;
    for (DWORD source : candidates) {
        const std::string path = GetDownloadPath() + "/projects/" + project + "/releases/" +
                                 ConvertVersion::ToString(release) + "/patchmanifests/" +
                                 ConvertVersion::ToString(source) + ".patchmanifest";
        BOOL exists = FALSE;
        result = CheckExistsWithRetries(*m_connection, path, exists, TAG_PATCHES, "Error checking for patch manifest file, retrying",
                                        "Error checking for patch manifest file, retrying a second time",
                                        "Checking for patch manifest file failed after three attempts, giving up.");
        if (FAILED(result)) break;
        if (exists) {
            patches.push_back(source);
            break;
        }
    }
    return result;
}

}  // namespace Quor::User
