#pragma once
// What the content server offers: release and patch listings, forwarded to the server object
// (which applies the region, the "_OK" markers and the count limit, 0 meaning none). Each logs its
// call and returns the server's result unchanged. Listing every project or solution the server
// holds is not supported: those two log an ERROR line and return S_OK with the list untouched.
// Run on the calling thread; the server object is used by one thread at a time.
#include <string>
#include <vector>

#include "foundation/Types.h"
#include "remote/IRemoteFileServer.h"

namespace Quor::User {

HRESULT EnumerateAvailableProjectReleases(const std::string& project, IRemoteFileServer& server,
                                          std::vector<DWORD>& releases, const unsigned int maxCount);
HRESULT EnumerateAvailableProjectReleasesForRegion(const std::string& project, const std::string& region,
                                                   IRemoteFileServer& server, std::vector<DWORD>& releases,
                                                   const unsigned int maxCount);
HRESULT EnumerateAvailableSolutionReleases(const std::string& solution, IRemoteFileServer& server,
                                           std::vector<DWORD>& releases, const unsigned int maxCount);
HRESULT EnumerateAvailableSolutionReleasesForRegion(const std::string& solution, const std::string& region,
                                                    IRemoteFileServer& server, std::vector<DWORD>& releases,
                                                    const unsigned int maxCount);
HRESULT EnumerateAvailablePatches(const std::string& project, const DWORD version, IRemoteFileServer& server,
                                  std::vector<DWORD>& sources, const DWORD sourceVersion);
HRESULT EnumerateAvailableProjects(IRemoteFileServer& server, std::vector<std::string>& projects);
HRESULT EnumerateAvailableSolutions(IRemoteFileServer& server, std::vector<std::string>& solutions);

}  // namespace Quor::User
