#pragma once
// Quor::Common::ProjectVersionListingCache: the project version listings of projects and
// solutions, downloaded from
//     {DownloadPath}/projects/{name}/releases/projectversionlisting
//     {DownloadPath}/solutions/{name}/releases/projectversionlisting
// and kept per process for 60 seconds. The download uses the name as given; the cache key is the
// name lower-cased, so "Game_Client" and "game_client" share one entry. An entry is fresh while
// (now - download time) < 60 s as an unsigned difference, so a clock that went backwards makes
// it stale. A failed download leaves the map as it was. A listing longer than kMaxListingBytes
// (the transfer is cut there), or one without a single valid line, fails the download.
// Threads: no lock; the maps are used by one thread at a time (the kernel's request worker).
// Errors: E_FAIL (the download's own code is logged), E_FAIL for a name that cannot stand as one
// folder name (nothing is requested).
#include <cstdint>
#include <string>

#include "foundation/Types.h"
#include "remote/HTTPConnection.h"
#include "remote/ProjectVersionListing.h"

namespace Quor::Common::ProjectVersionListingCache {

// The most bytes a project version listing may have.
constexpr int64_t kMaxListingBytes = int64_t{4} << 20;

HRESULT GetProjectListing(HTTPConnection& connection, const std::string& project, ProjectVersionListing& listing);
HRESULT GetSolutionListing(HTTPConnection& connection, const std::string& solution, ProjectVersionListing& listing);
// Always S_OK.
HRESULT RemoveProjectListing(const std::string& project);
HRESULT RemoveSolutionListing(const std::string& solution);

HRESULT DownloadProjectVersionListing(HTTPConnection& connection, std::string name, ProjectVersionListing& listing,
                                      bool solution);

// The UTC clock of the freshness rule, in seconds since 1970 (null: the system's clock).
using UtcSecondsClock = uint64_t (*)();
void SetClock(UtcSecondsClock clock);

}  // namespace Quor::Common::ProjectVersionListingCache
