#include "common/DiskFlush.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "common/Log.h"
#include "common/RegularFile.h"
#include "common/SystemErrorText.h"
#include "foundation/OsContext.h"
#include "foundation/UniqueFd.h"

namespace Quor::Common {

void StartFlushToDisk(const std::string& path) {
    const Vorn::UniqueFd fd = OpenRegularFile(path);
    if (fd.IsValid()) ::sync_file_range(fd.Get(), 0, 0, SYNC_FILE_RANGE_WRITE);
}

HRESULT FlushFileSystemToDisk(const std::string& folder) {
    const Vorn::UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.IsValid() || Vorn::Os().files.SyncFs(fd.Get()) != 0) {
        QUOR_LOG(Log::ERROR, "Failed to flush the file system of \"%s\" to the disk: %s", folder.c_str(),
                 SystemErrorText(errno).c_str());
        return E_FAIL;
    }
    return S_OK;
}

}  // namespace Quor::Common
