#include "install/ArchiveFlush.h"

#include "archive/ManagedFileHelper.h"
#include "common/Log.h"

namespace Quor::User::UpdateAndInstallShared {

HRESULT FlushArchivesAndDeleteSources(const std::vector<std::string>& archivedSources,
                                      Common::LocalFileSystem& fileSystem) {
    HRESULT hr = ManagedFileHelper::Flush(0);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to write files to archives.");
        return hr;
    }
    for (const std::string& path : archivedSources) {
        hr = fileSystem.DeleteFile(path);
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Failed to delete source file after adding to archive file: \"%s\"", path.c_str());
            return hr;
        }
    }
    return S_OK;
}

}  // namespace Quor::User::UpdateAndInstallShared
