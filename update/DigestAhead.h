#pragma once
// DigestAhead: MD5 digests of a walk's files, computed on pool threads ahead of the walk, so that
// a walk that checks its files one at a time, in its own order, finds each digest ready.
//
// One thread (the walk) takes the items in increasing order with Take; the workers hash the items
// in order, at most a window of items ahead of the walk, so a walk that ends early leaves little
// work done in vain. Only regular files are read (a pipe or a device is never opened for reading).
// An item without a path, a file that cannot be opened or read, and an item no worker had started
// when the walk took it answer "not hashed": the walk then checks that file itself. Workers start
// no item once the cancellation flag is set or the object is being destroyed; the destructor
// waits for the items in hand (a worker that does not end in time is given up, never killed, and
// touches nothing of the object). Workers log nothing. One worker per processor the process may
// run on, at most `most` and at most 8; with one processor, a `most` of 0, or when no thread could
// be started, there are none and every item answers "not hashed".
#include <memory>
#include <string>
#include <vector>

#include "common/WorkerGroup.h"
#include "remote/MD5.h"

namespace Quor::User {

class DigestAhead {
public:
    static constexpr unsigned kMostWorkers = 8;

    // paths[i]: the file of item i, or empty for an item the walk checks itself. cancel may be null.
    DigestAhead(std::vector<std::string> paths, const signed char* cancel, unsigned most = kMostWorkers);
    ~DigestAhead();
    DigestAhead(const DigestAhead&) = delete;
    DigestAhead& operator=(const DigestAhead&) = delete;

    // Item i's digest, waiting for a worker that has it in hand; false when it was not hashed.
    // Every later call names a higher item.
    bool Take(size_t item, MD5::DIGEST& digest);

private:
    struct Shared;
    std::shared_ptr<Shared> m_Shared;
    std::unique_ptr<Common::WorkerGroup> m_Workers;
};

}  // namespace Quor::User
