#pragma once
// Quor::Common::IFileTransfers: several downloads from the content server in flight at once,
// driven by the one thread that owns the object.
//
// Start begins fetching a server path into a local file (emptied first) under the caller's id;
// at most Capacity() downloads run at once. Run moves every running download on and returns once
// at least one has ended (at once when none runs), appending each ended one with its result: the
// same result, retries, byte listener calls, size bound and stop and cancel handling as one
// IRemoteFileServer::GetFile of that path would have. The listener of a download is called on the
// thread that calls Run and must live until its download ended. An object is used by one thread;
// destroying it ends the downloads still running (their files are left as they are).
#include <cstddef>
#include <string>
#include <vector>

#include "foundation/Types.h"
#include "remote/IGetFileProgressCallback.h"

namespace Quor::Common {

class IFileTransfers {
public:
    struct Ended {
        size_t id = 0;
        HRESULT result = E_FAIL;
    };

    virtual ~IFileTransfers() = default;

    virtual unsigned Capacity() const = 0;
    virtual unsigned Running() const = 0;
    // A failure: the download did not start (no slot free, or the handle could not be set up)
    // and will not be reported by Run.
    virtual HRESULT Start(size_t id, const std::string& remotePath, const std::string& localPath,
                          IGetFileProgressCallback* callback) = 0;
    virtual void Run(std::vector<Ended>& ended) = 0;
};

}  // namespace Quor::Common
