#include "remote/NorripManager.h"

#include <strings.h>

#include "common/FileSysHelper.h"
#include "common/LocalRootFolder.h"
#include "common/Log.h"
#include "common/RelativeName.h"
#include "common/SettingsFile.h"
#include "common/Time.h"
#include "remote/LocalFileSystemHelper.h"
#include "remote/ServerSettings.h"
#include "remote/process/ProcessHelper.h"

namespace Quor::User {

namespace {

#define QUOR_NORRIP "Quor::User::NorripManager::"
const char* const TAG_START = "HRESULT " QUOR_NORRIP "start()";
const char* const TAG_START_NRB = "HRESULT " QUOR_NORRIP "startNRB()";
const char* const TAG_STOP = "HRESULT " QUOR_NORRIP "stop(bool)";
const char* const TAG_GARBAGE = "HRESULT " QUOR_NORRIP "GarbageCollectNorripFiles()";
const char* const TAG_DOWNLOAD =
    "HRESULT " QUOR_NORRIP "startNorripDownload(Quor::User::IRemoteFileServer &, Quor::Common::LocalFileSystem &, "
    "const std::string &, std::string &, DWORD &)";
#undef QUOR_NORRIP

constexpr int64_t kMaxMarkerBytes = 64 * 1024;

bool EqualsNoCase(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

}  // namespace

NorripManager& NorripManager::Instance() {
    static NorripManager instance;
    return instance;
}

const std::string& NorripManager::ApplicationIdentifier() {
    static const std::string identifier = "vorngames";
    return identifier;
}

bool NorripManager::IsP2PDisabled() const {
    HRESULT result = S_OK;
    Common::SettingsFile::SettingsFile settings("user.cfg", result);
    return SUCCEEDED(result) && EqualsNoCase(settings.Get("disableP2P"), "true");
}

HRESULT NorripManager::start() {
    if (IsP2PDisabled()) {
        QUOR_LOG_TAG(Log::DEBUG, TAG_START, "Norrip disabled");
        return E_FAIL;
    }
    QUOR_LOG_TAG(Log::DEBUG, TAG_START, "launching Norrip");
    ApplicationIdentifier();
    QUOR_LOG_TAG(Log::ERROR, TAG_START, "Starting NRB timed out");
    return E_FAIL;
}

HRESULT NorripManager::startNRB() {
    if (m_running) return S_OK;
    if (m_startFailed) {
        QUOR_LOG_TAG(Log::DEBUG, TAG_START_NRB, "Starting NRB already failed");
        return E_FAIL;
    }
    QUOR_LOG_TAG(Log::DEBUG, TAG_START_NRB, "starting NRB");
    ApplicationIdentifier();
    QUOR_LOG_TAG(Log::ERROR, TAG_START_NRB, "Starting NRB timed out");
    m_startFailed = true;
    return E_FAIL;
}

HRESULT NorripManager::stop(bool force) {
    if (!m_running) return S_OK;
    if (IsP2PDisabled() && !force) {
        QUOR_LOG_TAG(Log::DEBUG, TAG_STOP, "Norrip disabled");
        return E_FAIL;
    }
    QUOR_LOG_TAG(Log::DEBUG, TAG_STOP, "stopping Norrip");
    QUOR_LOG_TAG(Log::ERROR, TAG_STOP, "shutdown timed out");
    Common::ProcessHelper::TerminateProcessesByName("NRB.exe");
    GarbageCollectNorripFiles();
    return S_OK;
}

HRESULT NorripManager::GarbageCollectNorripFiles() {
    const std::string root = Common::LocalRootFolder::Get();
    QUOR_LOG_TAG(Log::DEBUG, TAG_GARBAGE, "starting garbage collect at %s", root.c_str());
    Common::LocalFileSystem fileSystem;
    Common::FileSysHelper::CreateDirectoryAndIntermediatePaths(root.c_str());

    const std::string norrip = root + "/norrip/";
    if (fileSystem.DoesFileOrDirectoryExist(norrip)) {
        Common::LocalFileSystemHelper::DeleteFilesOlderThan(norrip, fileSystem, 0);
        fileSystem.RemoveDirectory(norrip);
    }

    DWORD days = 16;
    HRESULT loaded = S_OK;
    Common::SettingsFile::SettingsFile system("system.cfg", loaded);
    if (SUCCEEDED(loaded) && EqualsNoCase(system.Get(Common::SETTING_REGION), "VORN")) days = 2;
    Common::LocalFileSystemHelper::DeleteFilesOlderThan(root + "/downloads/", fileSystem, Common::Time::FromDays(days));

    QUOR_LOG_TAG(Log::DEBUG, TAG_GARBAGE, "finished garbage collect");
    return S_OK;
}

std::string NorripManager::GetLocalDownloadPath(const std::string& remotePath) const {
    std::string path = remotePath;
    if (!path.empty() && (path[0] == '/' || path[0] == '\\')) path.erase(0, 1);
    // The path comes from a manifest: neither its folder part nor the marker file named after it
    // may leave {root}/downloads/.
    if (!Common::IsValidRelativeName(path)) return std::string();
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash);
    std::string local = Common::LocalRootFolder::Get() + "/downloads/";
    if (!folder.empty()) local += folder + "/";
    return local;
}

HRESULT NorripManager::startNorripDownload(IRemoteFileServer& server, Common::LocalFileSystem& fileSystem,
                                           const std::string& remotePath, std::string& localPath, DWORD&) {
    if (IsP2PDisabled()) {
        QUOR_LOG_TAG(Log::DEBUG, TAG_DOWNLOAD, "Norrip disabled");
        return E_FAIL;
    }
    if (m_startFailed) {
        QUOR_LOG_TAG(Log::DEBUG, TAG_DOWNLOAD, "Starting NRB already failed");
        return E_FAIL;
    }
    localPath = GetLocalDownloadPath(remotePath);
    if (localPath.empty()) {
        QUOR_LOG_TAG(Log::ERROR, TAG_DOWNLOAD, "Couldn't translate server file name to local path");
        return E_FAIL;
    }
    const size_t slash = remotePath.rfind('/');
    const std::string fileName = slash == std::string::npos ? remotePath : remotePath.substr(slash + 1);
    const std::string marker = localPath + fileName + ".pandurl";
    if (!fileSystem.DoesFileOrDirectoryExist(marker)) {
        QUOR_LOG_TAG(Log::DEBUG, TAG_DOWNLOAD, "Fetching norrip url file %s", marker.c_str());
        HRESULT result = fileSystem.CreateDirectory(localPath);
        if (FAILED(result)) {
            QUOR_LOG_TAG(Log::ERROR, TAG_DOWNLOAD, "Couldn't create directory");
            return result;
        }
        // A marker holds one address; nothing of that kind needs more.
        Common::TransferBound bound(kMaxMarkerBytes);
        result = server.GetFile(remotePath + ".pandurl", marker, &bound, false);
        if (FAILED(result)) {
            fileSystem.DeleteFile(marker);
            QUOR_LOG_TAG(Log::ERROR, TAG_DOWNLOAD, "Couldn't get norrip file");
            return result;
        }
    }
    return S_OK;
}

}  // namespace Quor::User
