#include "remote/ServerSettings.h"

#include "common/Log.h"

namespace Quor::Common {

const char* const SETTING_DOWNLOAD_PATH = "DownloadPath";
const char* const SETTING_DOWNLOAD_URL = "DownloadURL";
const char* const SETTING_REGION = "Region";
const char* const SETTING_BLOCKED_ADDRESS_RANGES = "BlockedAddressRanges";

namespace {
// The load result of "system.cfg"; kept, not read (a missing file is an empty settings object).
HRESULT g_systemSettingsResult = S_OK;
std::string g_ftpServerRootFolder = "/var/www/html/updater/quor";
}  // namespace

SettingsFile::SettingsFile& GetSystemSettings() {
    static SettingsFile::SettingsFile settings("system.cfg", g_systemSettingsResult);
    return settings;
}

const std::string& GetDownloadURL() {
    static const std::string value = GetSystemSettings().Get(SETTING_DOWNLOAD_URL);
    return value;
}

const std::string& GetDownloadPath() {
    static const std::string value = GetSystemSettings().Get(SETTING_DOWNLOAD_PATH);
    return value;
}

std::string& GetFTPServerRootFolder() { return g_ftpServerRootFolder; }

void SetFTPServerRootFolder(const std::string& folder) {
    QUOR_LOG_TAG(Log::DEBUG, "void Quor::Common::SetFTPServerRootFolder(const std::string &)", "(%s)",
                 folder.c_str());
    g_ftpServerRootFolder = folder;
}

}  // namespace Quor::Common
