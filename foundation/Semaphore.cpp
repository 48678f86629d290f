#include "foundation/Semaphore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace Vorn {

namespace {

constexpr mode_t kMode = 0666;

constexpr char kInstanceVariable[] = "ORVANE_INSTANCE";

std::string SuffixOfValue(const char* value, size_t length) {
    std::string suffix(value ? value : "", value ? length : 0);
    for (char& c : suffix)
        if (c == '/') c = '_';
    return suffix;
}

std::string ReadInstanceSuffix() {
    const char* value = getenv(kInstanceVariable);
    return SuffixOfValue(value, value ? strlen(value) : 0);
}

// sem_open wants "/name"; a leading '/' given by the caller is kept as it is.
std::string SystemName(const char* name) {
    std::string full = InstanceName(name);
    if (full.empty() || full[0] != '/') full.insert(full.begin(), '/');
    return full;
}

// Where the system keeps a named semaphore ("/name" -> /dev/shm/sem.name).
std::string FileOf(const std::string& systemName) { return "/dev/shm/sem." + systemName.substr(1); }

enum class NameOwner { None, ThisUser, Other };

NameOwner OwnerOf(const std::string& systemName) {
    struct stat status {};
    if (::lstat(FileOf(systemName).c_str(), &status) != 0) return NameOwner::None;
    return S_ISREG(status.st_mode) && status.st_uid == ::geteuid() ? NameOwner::ThisUser : NameOwner::Other;
}

// Attempts at replacing a name that another user keeps re-creating.
constexpr int kOwnNameAttempts = 16;

[[noreturn]] void ForceCrash(int reason) {
    errno = reason;
    __builtin_trap();
}

}  // namespace

std::string InstanceSuffix() {
    static const std::string suffix = ReadInstanceSuffix();
    return suffix;
}

std::string InstanceName(const char* name) { return std::string(name ? name : "") + InstanceSuffix(); }

std::string InstanceSuffixOfEnvironment(const std::string& block) {
    const std::string prefix = std::string(kInstanceVariable) + "=";
    // getenv answers the first entry of a name; so does this.
    for (size_t at = 0; at < block.size();) {
        size_t end = block.find('\0', at);
        if (end == std::string::npos) end = block.size();
        if (end - at >= prefix.size() && block.compare(at, prefix.size(), prefix) == 0)
            return SuffixOfValue(block.data() + at + prefix.size(), end - at - prefix.size());
        at = end + 1;
    }
    return {};
}

Semaphore::Semaphore(const char* name, int initialCount) {
    const std::string full = SystemName(name);
    if (initialCount < 1) {
        // Open only: a probe must never create the name, not even for a moment, or a process that
        // creates it at the same time would open the probe's empty semaphore instead.
        m_handle = sem_open(full.c_str(), 0);
        return;
    }
    m_handle = sem_open(full.c_str(), O_CREAT | O_EXCL, kMode, static_cast<unsigned>(initialCount));
    if (m_handle != SEM_FAILED) {
        m_owner = true;
        m_name = full;
        return;
    }
    // The name exists already: open that semaphore; its count stays as it is.
    m_handle = sem_open(full.c_str(), O_CREAT, kMode, static_cast<unsigned>(initialCount));
}

Semaphore::Semaphore(const char* name, int initialCount, OwnName) {
    const std::string full = SystemName(name);
    const unsigned count = initialCount < 1 ? 1u : static_cast<unsigned>(initialCount);
    for (int attempt = 0; attempt < kOwnNameAttempts; ++attempt) {
        m_handle = sem_open(full.c_str(), O_CREAT | O_EXCL, kMode, count);
        if (m_handle != SEM_FAILED) {
            m_owner = true;
            m_name = full;
            return;
        }
        if (errno != EEXIST) return;
        const NameOwner owner = OwnerOf(full);
        if (owner == NameOwner::ThisUser) {
            m_handle = sem_open(full.c_str(), 0);
            if (m_handle != SEM_FAILED && OwnerOf(full) == NameOwner::ThisUser) return;
            if (m_handle != SEM_FAILED) sem_close(m_handle);
            m_handle = SEM_FAILED;
        } else if (owner == NameOwner::Other && sem_unlink(full.c_str()) != 0 && errno != ENOENT) {
            return;  // not this user's to remove
        }
    }
}

Semaphore::Semaphore(int initialCount) {
    static std::atomic<unsigned> counter{0};
    const unsigned count = initialCount < 0 ? 0u : static_cast<unsigned>(initialCount);
    for (int attempt = 0; attempt < 64 && m_handle == SEM_FAILED; ++attempt) {
        char name[64];
        snprintf(name, sizeof name, "/vorn_sem_%ld_%u", static_cast<long>(getpid()), counter.fetch_add(1));
        m_handle = sem_open(name, O_CREAT | O_EXCL, 0600, count);
        if (m_handle != SEM_FAILED) {
            // The handle stays usable; the name is gone at once, so nothing is left in /dev/shm.
            sem_unlink(name);
        } else if (errno != EEXIST) {
            break;
        }
    }
    if (m_handle == SEM_FAILED) ForceCrash(errno);
}

Semaphore::~Semaphore() {
    if (m_handle == SEM_FAILED) return;
    if (m_owner) sem_unlink(m_name.c_str());
    sem_close(m_handle);
}

bool Semaphore::AcquireOne() {
    if (!IsValid()) return false;
    while (sem_wait(m_handle) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

bool Semaphore::TryAcquireOne() {
    if (!IsValid()) return false;
    while (sem_trywait(m_handle) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

bool Semaphore::ReleaseOne() { return IsValid() && sem_post(m_handle) == 0; }

bool Semaphore::IsOwnName(const char* name) { return OwnerOf(SystemName(name)) == NameOwner::ThisUser; }

void Semaphore::Cleanup(const char* name) {
    const std::string full = SystemName(name);
    sem_t* handle = sem_open(full.c_str(), O_CREAT, kMode, 0u);
    sem_unlink(full.c_str());
    if (handle != SEM_FAILED) sem_close(handle);
}

}  // namespace Vorn
