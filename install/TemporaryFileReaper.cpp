#include "install/TemporaryFileReaper.h"

#include <system_error>

#include "common/Log.h"

namespace Quor::User {

TemporaryFileReaper::TemporaryFileReaper() {
    try {
        m_Thread = std::thread(&TemporaryFileReaper::Run, this);
    } catch (const std::system_error& error) {
        QUOR_LOG(Log::WARNING, "No thread for deleting temporary files (%s); deleting them at once", error.what());
    }
}

TemporaryFileReaper::~TemporaryFileReaper() {
    {
        Vorn::AnnotatedLockGuard lock(m_Mutex);
        m_Closing = true;
    }
    m_Wake.notify_one();
    if (m_Thread.joinable()) m_Thread.join();
}

void TemporaryFileReaper::Add(std::shared_ptr<Common::AutoTemporaryFile> file) {
    if (!file) return;
    if (!m_Thread.joinable()) return;  // the caller's owner goes now
    {
        Vorn::AnnotatedLockGuard lock(m_Mutex);
        m_Queue.push_back(std::move(file));
    }
    m_Wake.notify_one();
}

void TemporaryFileReaper::Run() {
    Vorn::AnnotatedUniqueLock lock(m_Mutex);
    for (;;) {
        m_Wake.wait(lock.ForWait(), [this]() REQUIRES(m_Mutex) { return m_Closing || !m_Queue.empty(); });
        if (m_Queue.empty()) return;  // closing, and nothing left
        std::shared_ptr<Common::AutoTemporaryFile> file = std::move(m_Queue.front());
        m_Queue.pop_front();
        lock.Unlock();
        file.reset();  // deletes it unless it was kept
        lock.Lock();
    }
}

}  // namespace Quor::User
