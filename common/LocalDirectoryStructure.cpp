#include "common/LocalDirectoryStructure.h"

#include "common/ConvertVersion.h"
#include "common/LocalRootFolder.h"
#include "common/Log.h"

namespace Quor::Common {

namespace {

// Builds {root}/<kind>/<name>[/releases/<version>[<leaf>]] after checking name and version.
HRESULT BuildPath(const char* kind, const std::string& name, const std::string* version, const char* leaf,
                  std::string& out) {
    out.clear();
    if (!LocalDirectoryStructure::IsValidName(name) ||
        (version && !LocalDirectoryStructure::IsValidName(*version))) {
        QUOR_LOG(Log::ERROR,
                 "Refusing name \"%s\" version \"%s\": it cannot stand as a folder of the install tree",
                 name.c_str(), version ? version->c_str() : "");
        return E_INVALIDARG;
    }
    out = LocalRootFolder::Get();
    out += kind;
    out += name;
    if (version) {
        out += "/releases/";
        out += *version;
        out += leaf;
    }
    return S_OK;
}

HRESULT BuildPath(const char* kind, const std::string& name, DWORD version, const char* leaf,
                  std::string& out) {
    const std::string text = ConvertVersion::ToString(version);
    return BuildPath(kind, name, &text, leaf, out);
}

const char* const PROJECTS = "/projects/";
const char* const SOLUTIONS = "/solutions/";

}  // namespace

bool LocalDirectoryStructure::IsValidName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    return name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

HRESULT LocalDirectoryStructure::GetProjectPath(const std::string& name, std::string& out) {
    return BuildPath(PROJECTS, name, nullptr, "", out);
}
HRESULT LocalDirectoryStructure::GetProjectReleasePath(const std::string& name, DWORD version,
                                                       std::string& out) {
    return BuildPath(PROJECTS, name, version, "", out);
}
HRESULT LocalDirectoryStructure::GetProjectReleasePath(const std::string& name, const std::string& version,
                                                       std::string& out) {
    return BuildPath(PROJECTS, name, &version, "", out);
}
HRESULT LocalDirectoryStructure::GetProjectReleaseOkPath(const std::string& name, DWORD version,
                                                         std::string& out) {
    return BuildPath(PROJECTS, name, version, "/S_OK", out);
}
HRESULT LocalDirectoryStructure::GetProjectReleaseOkPath(const std::string& name, const std::string& version,
                                                         std::string& out) {
    return BuildPath(PROJECTS, name, &version, "/S_OK", out);
}
HRESULT LocalDirectoryStructure::GetProjectDeployPath(const std::string& name, DWORD version,
                                                      std::string& out) {
    return BuildPath(PROJECTS, name, version, "/deploy", out);
}
HRESULT LocalDirectoryStructure::GetProjectDeployPath(const std::string& name, const std::string& version,
                                                      std::string& out) {
    return BuildPath(PROJECTS, name, &version, "/deploy", out);
}

HRESULT LocalDirectoryStructure::GetSolutionPath(const std::string& name, std::string& out) {
    return BuildPath(SOLUTIONS, name, nullptr, "", out);
}
HRESULT LocalDirectoryStructure::GetSolutionReleasePath(const std::string& name, DWORD version,
                                                        std::string& out) {
    return BuildPath(SOLUTIONS, name, version, "", out);
}
HRESULT LocalDirectoryStructure::GetSolutionReleasePath(const std::string& name, const std::string& version,
                                                        std::string& out) {
    return BuildPath(SOLUTIONS, name, &version, "", out);
}
HRESULT LocalDirectoryStructure::GetSolutionReleaseOkPath(const std::string& name, DWORD version,
                                                          std::string& out) {
    return BuildPath(SOLUTIONS, name, version, "/S_OK", out);
}
HRESULT LocalDirectoryStructure::GetSolutionReleaseOkPath(const std::string& name, const std::string& version,
                                                          std::string& out) {
    return BuildPath(SOLUTIONS, name, &version, "/S_OK", out);
}
HRESULT LocalDirectoryStructure::GetSolutionDeployPath(const std::string& name, DWORD version,
                                                       std::string& out) {
    return BuildPath(SOLUTIONS, name, version, "/deploy", out);
}
HRESULT LocalDirectoryStructure::GetSolutionDeployPath(const std::string& name, const std::string& version,
                                                       std::string& out) {
    return BuildPath(SOLUTIONS, name, &version, "/deploy", out);
}

}  // namespace Quor::Common
