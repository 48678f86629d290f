#include "update/VerifyLocalRootFolder.h"

#include "common/Log.h"

namespace Quor::User {

HRESULT VerifyLocalRootFolder(const std::string& root, Common::LocalFileSystem& fileSystem) {
    QUOR_LOG(Log::VERBOSE, "()");
    const std::string folders[] = {root, root + "/projects", root + "/solutions", root + "/system", root + "/temp"};
    HRESULT hr = S_OK;
    for (const std::string& folder : folders) {
        if (fileSystem.DoesFileOrDirectoryExist(folder)) continue;
        hr = fileSystem.CreateDirectory(folder);
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Failed while creating folders for Quor.");
            return hr;
        }
    }
    return hr;
}

}  // namespace Quor::User
