#include "install/CreateProcess.h"

#include <algorithm>
#include <vector>

#include "common/ConvertVersion.h"
#include "common/LocalDirectoryStructure.h"
#include "common/LocalRootFolder.h"
#include "common/Log.h"
#include "install/InstalledState.h"
#include "install/WorkingFolderGuard.h"
#include "remote/process/Process.h"

namespace Quor::User {
namespace {

bool Listed(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

HRESULT ChooseProjectsOrSolutionsFolder(const std::string& name, Common::LocalFileSystem& fileSystem,
                                        std::string& folder) {
    std::vector<std::string> names;
    HRESULT hr = EnumerateInstalledSolutions(fileSystem, names);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to enumerate installed solutions");
        return hr;
    }
    if (Listed(names, name)) {
        folder = "solutions";
        return S_OK;
    }
    names.clear();
    hr = EnumerateInstalledProjects(fileSystem, names);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to enumerate installed projects");
        return hr;
    }
    if (Listed(names, name)) {
        folder = "projects";
        return S_OK;
    }
    QUOR_LOG(Log::ERROR, "\"%s\" was neither an installed solution or project", name.c_str());
    return E_FAIL;
}

}  // namespace

HRESULT CreateProcess(const std::string& name, const DWORD version, const std::string& executable,
                      const std::string& arguments, Common::LocalFileSystem& fileSystem, DWORD& processId,
                      DWORD& reserved) {
    QUOR_LOG(Log::DEBUG, "(%s, 0x%08lx, \"%s\", \"%s\")", name.c_str(), static_cast<unsigned long>(version),
             executable.c_str(), arguments.c_str());
    processId = 0;
    reserved = 0;
    const std::string versionText = Common::ConvertVersion::ToString(version);
    std::string folder;
    HRESULT hr = ChooseProjectsOrSolutionsFolder(name, fileSystem, folder);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to choose projects/solutions folder");
        return hr;
    }
    // The bundle name becomes a path below the deploy folder: one plain name only.
    if (!Common::LocalDirectoryStructure::IsValidName(executable)) {
        QUOR_LOG(Log::ERROR, "Invalid executable name \"%s\".", executable.c_str());
        return E_FAIL;
    }
    const std::string deploy =
        Common::LocalRootFolder::Get() + "/" + folder + "/" + name + "/releases/" + versionText + "/deploy";
    {
        // The program gets the deploy folder as its working folder; ours stays where it was.
        WorkingFolderGuard back;
        hr = Common::LocalFileSystem::SetCurrentDirectory(deploy);
    }
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to set current directory to deploy folder.");
        return hr;
    }
    const size_t dot = executable.rfind('.');
    const std::string program = deploy + "/" + executable + "/Contents/MacOS/" + executable.substr(0, dot);
    const char* argv[] = {arguments.c_str()};
    Vorn::ProcessLaunchRecord record;
    const bool started =
        Vorn::processCreate(program.c_str(), deploy.c_str(), arguments.empty() ? 0 : 1, argv, &record);
    if (!started || record.pid == 0) {
        QUOR_LOG(Log::ERROR, "Failed to spawn process '%s'.", program.c_str());
        return E_FAIL;
    }
    processId = record.pid;
    QUOR_LOG(Log::DEBUG, "CreateProcess succeeded (procId: 0x%08lx).", static_cast<unsigned long>(processId));
    return S_OK;
}

}  // namespace Quor::User
