#include "update/RepairDiscover.h"

#include <algorithm>
#include <string>

#include "common/AutoUpdateProgressHelper.h"
#include "common/LocalRootFolder.h"
#include "common/Log.h"
#include "common/ReleaseManifest.h"
#include "foundation/CStd/CStdStrings.h"
#include "install/WorkingFolderGuard.h"
#include "update/ParsedDirectory.h"

namespace Quor::User::Repair {

namespace {

const char* const kIgnoredNames[] = {".log",          "quor.dll",          "jpatch.exe",     "jdiff.exe",
                                     "quor_orvane.exe", "quor_orvane_d.exe", "quor_admin.exe", "quor_admin_d.exe",
                                     "filelist.versioninfo"};

bool LessByName(const DISCOVERED_FILE& a, const DISCOVERED_FILE& b) {
    return Vorn::std_stricmp(a.m_Name.c_str(), b.m_Name.c_str()) < 0;
}
bool LessByPath(const DISCOVERED_DIRECTORY& a, const DISCOVERED_DIRECTORY& b) {
    return Vorn::std_stricmp(a.m_Path.c_str(), b.m_Path.c_str()) < 0;
}

}  // namespace

bool IsIgnoredName(const std::string& name) {
    return std::any_of(std::begin(kIgnoredNames), std::end(kIgnoredNames),
                       [&](const char* ignored) { return name.find(ignored) != std::string::npos; });
}

Discover::Discover(const InputParameters& parameters) : m_Parameters(parameters) {
    QUOR_LOG(Log::DEBUG, "%s", "");
    m_hr = DiscoverFiles();
    if (FAILED(m_hr)) QUOR_LOG(Log::ERROR, "Failed to discover files");
}

HRESULT Discover::DiscoverFiles() {
    const std::string root = Common::LocalRootFolder::Get();
    QUOR_LOG(Log::DEBUG, "(\"%s\")", root.c_str());
    AutoUpdateProgress& progress = m_Parameters.m_AutoUpdateProgress;
    const WorkingFolderGuard guard;

    auto report = [&](const std::string& item) {
        AutoUpdateProgressHelper::SetStringDataToFilenameFromPath(progress, item);
        progress.Tick(0);
        return Common::IsCancelRequested(progress.GetCancelFlag());
    };

    std::vector<std::string> stack{std::string()};
    while (!stack.empty()) {
        const std::string path = stack.back();
        stack.pop_back();
        const std::string folder = root.empty() ? path : path.empty() ? root : root + "/" + path;
        HRESULT hr = Common::LocalFileSystem::SetCurrentDirectory(folder);
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Failed to change to \"%s\" while discovering files.", folder.c_str());
            return hr;
        }
        ParsedDirectory parsed;
        hr = parsed.Parse();
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Failed to parse \"%s\" while discovering files.", folder.c_str());
            return hr;
        }
        for (const std::string& name : parsed.m_Directories) {
            stack.push_back(path.empty() ? name : path + "/" + name);
            if (report(name)) return E_ABORT;
        }
        DISCOVERED_DIRECTORY directory;
        directory.m_Path = path;
        for (const std::string& name : parsed.m_Files) {
            if (report(name)) return E_ABORT;
            if (IsIgnoredName(name)) {
                QUOR_LOG(Log::DEBUG, "Ignoring \"%s\"", name.c_str());
                continue;
            }
            DISCOVERED_FILE file;
            file.m_Name = name;
            directory.m_Files.insert(
                std::upper_bound(directory.m_Files.begin(), directory.m_Files.end(), file, LessByName), file);
        }
        m_Directories.insert(std::upper_bound(m_Directories.begin(), m_Directories.end(), directory, LessByPath),
                             std::move(directory));
    }
    return S_OK;
}

}  // namespace Quor::User::Repair
