#pragma once
// Quor::User::NorripPackage: where one package bin of a packaged download is put - a file the
// caller chose (full path) or else a temporary file made on demand.
//
// The peer-to-peer transfer hook is inert on this platform: StartTransfer always fails with
// E_FAIL and touches nothing, so the caller downloads the bin over HTTP into GetFullPath().
// The temporary file is deleted with the last owner of the package's share of it.
// One object is used by one thread at a time.
#include <memory>
#include <string>

#include "common/LocalFileSystem.h"
#include "foundation/Types.h"
#include "remote/AutoTemporaryFile.h"
#include "remote/IRemoteFileServer.h"

namespace Quor::User {

class NorripPackage {
public:
    NorripPackage() = default;

    // True when a full path is set or a temporary file exists.
    bool IsReady() const;
    // result = S_OK; makes the temporary file unless a full path or a temporary file is set; a
    // failed creation is logged and left in result.
    void setupTemporary(Common::LocalFileSystem& fileSystem, HRESULT& result);
    void SetFullPath(const std::string& path);
    // The full path when set, else the temporary file's path; with neither, an empty text (logged).
    const std::string& GetFullPath() const;

    // The peer-to-peer transfer of a bin: not available, always E_FAIL.
    static HRESULT StartTransfer(NorripPackage& package, IRemoteFileServer& server, Common::LocalFileSystem& fileSystem,
                                 const std::string& remotePath, DWORD& transferStatus);

private:
    std::shared_ptr<Common::AutoTemporaryFile> m_temporary;
    std::string m_fullPath;
};

}  // namespace Quor::User
