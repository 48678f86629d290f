#pragma once
// Where the content server is: the system settings file "system.cfg" and the values read from it.
//
// GetSystemSettings loads "system.cfg" once per process (looked up as "quor/system/system.cfg"
// under the working folder, then in {root}/system/); a missing or unreadable file gives an empty
// object whose every key reads as the empty text. GetDownloadURL and GetDownloadPath read their
// key on the first call and keep that value for the rest of the process. The FTP root folder is
// the folder under which the (unused) release-listing upload would place its files.
// Threads: the first calls are guarded by the runtime's one-time initialisation; the settings
// object is only read afterwards. The FTP root folder is not guarded (nothing sets it).
#include <string>

#include "common/SettingsFile.h"

namespace Quor::Common {

// Keys of "system.cfg".
extern const char* const SETTING_DOWNLOAD_PATH;          // "DownloadPath": path prefix of the release tree
extern const char* const SETTING_DOWNLOAD_URL;           // "DownloadURL": the content server's address
extern const char* const SETTING_REGION;                 // "Region": the user's region code
extern const char* const SETTING_BLOCKED_ADDRESS_RANGES; // "BlockedAddressRanges": name of an address-range file

SettingsFile::SettingsFile& GetSystemSettings();
const std::string& GetDownloadURL();
const std::string& GetDownloadPath();

std::string& GetFTPServerRootFolder();
void SetFTPServerRootFolder(const std::string& folder);

}  // namespace Quor::Common
