#pragma once
// Quor::User::TemporaryFileReaper: lets go of used temporary files on a thread of its own, so that
// the thread placing downloads never waits for the file system to delete what it no longer needs
// (a delete can take milliseconds when the volume discards freed blocks).
//
// Add hands over one owner of a temporary file; the file is deleted (unless kept) when the reaper
// drops that owner, in the order handed over. The destructor lets go of everything still queued
// and joins the thread, so every file handed over is gone when it returns. When no thread can be
// started the reaper lets go at once on the caller's thread. Add may be called from any thread.
#include <condition_variable>
#include <deque>
#include <memory>
#include <thread>

#include "foundation/AnnotatedMutex.h"
#include "remote/AutoTemporaryFile.h"

namespace Quor::User {

class TemporaryFileReaper {
public:
    TemporaryFileReaper();
    ~TemporaryFileReaper();
    TemporaryFileReaper(const TemporaryFileReaper&) = delete;
    TemporaryFileReaper& operator=(const TemporaryFileReaper&) = delete;

    void Add(std::shared_ptr<Common::AutoTemporaryFile> file);

private:
    void Run();

    Vorn::AnnotatedMutex m_Mutex;
    std::condition_variable m_Wake;
    std::deque<std::shared_ptr<Common::AutoTemporaryFile>> m_Queue GUARDED_BY(m_Mutex);
    bool m_Closing GUARDED_BY(m_Mutex) = false;
    std::thread m_Thread;
};

}  // namespace Quor::User
