#pragma once
// Quor::User::IRemoteFileServer: the one view the install, update, repair and validation code has
// of the content server: fetch a file, ask a file's size, know the release tree's path prefix,
// list the releases available (for a region) and find the patches that lead to a release, and
// optionally several downloads in flight at once (CreateFileTransfers; none by default: files are
// then fetched one GetFile after another).
//
// Remote paths are server paths that begin with the download path prefix. Results are HRESULTs;
// connection failures come back as E_QUOR_HTTP_CONNECTION_FAILED / _LOST. An implementation is
// used by one thread at a time. Servers are never deleted through this interface.
#include <memory>
#include <string>
#include <vector>

#include "foundation/Types.h"
#include "remote/IFileTransfers.h"
#include "remote/IGetFileProgressCallback.h"

namespace Quor::User {

class IRemoteFileServer {
public:
    virtual HRESULT GetFile(const std::string& remotePath, const std::string& localPath,
                            Common::IGetFileProgressCallback* const callback, const bool flag) = 0;
    virtual HRESULT GetFileSize(const std::string& remotePath, DWORD& size) = 0;
    virtual const std::string& GetDownloadPath() = 0;
    virtual HRESULT EnumerateAvailableSolutionReleases(const std::string& solution, std::vector<DWORD>& releases,
                                                       const unsigned int maxCount) = 0;
    virtual HRESULT EnumerateAvailableSolutionReleasesForRegion(const std::string& solution, const std::string& region,
                                                                std::vector<DWORD>& releases,
                                                                const unsigned int maxCount) = 0;
    virtual HRESULT EnumerateAvailableProjectReleases(const std::string& project, std::vector<DWORD>& releases,
                                                      const unsigned int maxCount) = 0;
    virtual HRESULT EnumerateAvailableProjectReleasesForRegion(const std::string& project, const std::string& region,
                                                               std::vector<DWORD>& releases,
                                                               const unsigned int maxCount) = 0;
    virtual HRESULT EnumerateAvailablePatches(const std::string& project, const DWORD release,
                                              std::vector<DWORD>& patches, const DWORD sourceRelease) = 0;
    // Downloads in flight at once, used beside this object by the same thread; null when the
    // server offers one download at a time.
    virtual std::unique_ptr<Common::IFileTransfers> CreateFileTransfers() { return nullptr; }

protected:
    ~IRemoteFileServer() = default;
};

}  // namespace Quor::User
