#pragma once
// Quor::Common::MD5Ahead: hashes a list of whole files on worker threads of a thread pool, ahead of
// the one thread that then asks for their digests in list order (it may pass files over).
//
// ComputeMD5(path, digest) gives what MD5Helper::ComputeMD5 would give for the file at that moment,
// with the same log lines: a digest hashed ahead is handed out with that function's entry line;
// a file not hashed yet, one whose early hashing failed and one not in the list are hashed then,
// on the asking thread, through MD5Helper::ComputeMD5. Workers stay at most a bounded number of
// files ahead of the asker, never follow a symbolic link and take no new file once the cancel
// flag is set. With no workers every file is hashed by the asker.
// Threads: the object is made, used and destroyed by one thread. Destruction asks the workers to
// stop and waits for the file each is hashing (a worker that does not end in time is given up on,
// never cancelled; it touches no freed state).
#include <memory>
#include <string>
#include <vector>

#include "foundation/Types.h"
#include "remote/MD5.h"

namespace Quor::Common {

class MD5Ahead {
public:
    // paths: in the order the digests will be asked for. cancel may be null.
    MD5Ahead(std::vector<std::string> paths, unsigned workers, const signed char* cancel);
    ~MD5Ahead();
    MD5Ahead(const MD5Ahead&) = delete;
    MD5Ahead& operator=(const MD5Ahead&) = delete;

    HRESULT ComputeMD5(const std::string& path, MD5::DIGEST& digest);

    struct Shared;

private:
    class Workers;

    std::shared_ptr<Shared> m_Shared;
    std::unique_ptr<Workers> m_Workers;  // destroyed first: stops the workers
};

}  // namespace Quor::Common
