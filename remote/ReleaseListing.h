#pragma once
// Quor::Common::ReleaseListing: the release listings of projects and solutions on the content
// server, one dotted release version a.b.c.d per line, generally or for one region:
//     {DownloadPath}/projects/{name}/releases/releaselisting[_{region}]
//     {DownloadPath}/solutions/{name}/releases/releaselisting[_{region}]
//
// Retrieve* downloads a listing into a temporary file (three attempts) and appends its versions to
// `versions` in file order (the vector is never cleared). Empty lines are skipped, and a line
// ending in CR LF reads like one ending in LF. The first line that is not a version fails the
// whole retrieval with E_FAIL; the versions read before it stay in the vector. A listing that holds
// no version at all, or is longer than kMaxListingBytes (the transfer is cut there), fails with
// E_FAIL or the connection's code. An empty name, or
// one that cannot stand as one folder name, is refused with E_FAIL before anything is requested.
// Update* writes a listing (newest first) and hands it to the FTP interface; nothing in the system
// calls them.
// Errors are HRESULTs, each failure logged at ERROR. Reentrant; the connection is used by the
// calling thread only.
#include <string>
#include <vector>

#include "common/LocalFileSystem.h"
#include "foundation/Types.h"
#include "remote/FTPConnection.h"
#include "remote/HTTPConnection.h"

namespace Quor::Common::ReleaseListing {

// The most bytes a release listing may have (tens of thousands of versions).
constexpr int64_t kMaxListingBytes = int64_t{1} << 20;

HRESULT RetrieveProjectReleaseListing(const std::string& name, const std::string& region, HTTPConnection& connection,
                                      LocalFileSystem& fileSystem, std::vector<DWORD>& versions);
HRESULT RetrieveSolutionReleaseListing(const std::string& name, const std::string& region, HTTPConnection& connection,
                                       LocalFileSystem& fileSystem, std::vector<DWORD>& versions);

HRESULT UpdateProjectReleaseListing(const std::string& name, const std::string& region,
                                    const std::vector<DWORD>& versions, FTPConnection& ftp,
                                    LocalFileSystem& fileSystem);
HRESULT UpdateSolutionReleaseListing(const std::string& name, const std::string& region,
                                     const std::vector<DWORD>& versions, FTPConnection& ftp,
                                     LocalFileSystem& fileSystem);

}  // namespace Quor::Common::ReleaseListing
