#include "install/AvailableReleases.h"

#include "common/Log.h"

namespace Quor::User {

HRESULT EnumerateAvailableProjectReleases(const std::string& project, IRemoteFileServer& server,
                                          std::vector<DWORD>& releases, const unsigned int maxCount) {
    QUOR_LOG(Log::DEBUG, "(\"%s\", %d)", project.c_str(), static_cast<int>(maxCount));
    return server.EnumerateAvailableProjectReleases(project, releases, maxCount);
}

HRESULT EnumerateAvailableProjectReleasesForRegion(const std::string& project, const std::string& region,
                                                   IRemoteFileServer& server, std::vector<DWORD>& releases,
                                                   const unsigned int maxCount) {
    QUOR_LOG(Log::DEBUG, "(\"%s\", %d)", project.c_str(), static_cast<int>(maxCount));
    return server.EnumerateAvailableProjectReleasesForRegion(project, region, releases, maxCount);
}

HRESULT EnumerateAvailableSolutionReleases(const std::string& solution, IRemoteFileServer& server,
                                           std::vector<DWORD>& releases, const unsigned int maxCount) {
    QUOR_LOG(Log::DEBUG, "(\"%s\", %d)", solution.c_str(), static_cast<int>(maxCount));
    return server.EnumerateAvailableSolutionReleases(solution, releases, maxCount);
}

HRESULT EnumerateAvailableSolutionReleasesForRegion(const std::string& solution, const std::string& region,
                                                    IRemoteFileServer& server, std::vector<DWORD>& releases,
                                                    const unsigned int maxCount) {
    QUOR_LOG(Log::DEBUG, "(\"%s\", %d)", solution.c_str(), static_cast<int>(maxCount));
    return server.EnumerateAvailableSolutionReleasesForRegion(solution, region, releases, maxCount);
}

HRESULT EnumerateAvailablePatches(const std::string& project, const DWORD version, IRemoteFileServer& server,
                                  std::vector<DWORD>& sources, const DWORD sourceVersion) {
    QUOR_LOG(Log::DEBUG, "(\"%s\", 0x%08lx)", project.c_str(), static_cast<unsigned long>(version));
    return server.EnumerateAvailablePatches(project, version, sources, sourceVersion);
}

HRESULT EnumerateAvailableProjects(IRemoteFileServer& server, std::vector<std::string>& projects) {
    (void)server;
    (void)projects;
    QUOR_LOG(Log::DEBUG, "()");
    QUOR_LOG(Log::ERROR, "EnumerateAvailableProjects is unsupported at this time");
    return S_OK;
}

HRESULT EnumerateAvailableSolutions(IRemoteFileServer& server, std::vector<std::string>& solutions) {
    (void)server;
    (void)solutions;
    QUOR_LOG(Log::DEBUG, "()");
    QUOR_LOG(Log::ERROR, "EnumerateAvailableSolutions is unsupported at this time");
    return S_OK;
}

}  // namespace Quor::User
