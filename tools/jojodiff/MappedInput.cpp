#include "tools/jojodiff/MappedInput.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "tools/jojodiff/Populate.h"

namespace JojoDiff {

MappedInput::~MappedInput() {
    if (m_data) munmap(m_data, m_size);
    if (m_fd >= 0) close(m_fd);
}

MappedInput::Status MappedInput::Open(const char* path) {
    // O_NONBLOCK: opening a FIFO must not wait for a writer; the type is checked right after.
    do {
        m_fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    } while (m_fd < 0 && errno == EINTR);
    if (m_fd < 0) {
        m_failure = strerror(errno);
        return Status::OpenFailed;
    }
    struct stat st;
    if (fstat(m_fd, &st) != 0) {
        m_failure = strerror(errno);
        return Status::OpenFailed;
    }
    if (!S_ISREG(st.st_mode) || st.st_size < 0) {
        m_failure = "not a regular file";
        return Status::OpenFailed;
    }
    if (static_cast<uint64_t>(st.st_size) > SIZE_MAX) {
        m_failure = "too large to map";
        return Status::MapFailed;
    }
    m_size = static_cast<size_t>(st.st_size);
    m_failure = "";
    if (m_size == 0) return Status::Ok;
    // Every page mapped in one call, up to the bound of Populate.h.
    const int populate = m_size <= kPopulateAtMost ? MAP_POPULATE : 0;
    void* p = mmap(nullptr, m_size, PROT_READ, MAP_PRIVATE | populate, m_fd, 0);
    if (p == MAP_FAILED) {
        m_failure = strerror(errno);
        m_size = 0;
        return Status::MapFailed;
    }
    m_data = static_cast<uint8_t*>(p);
    return Status::Ok;
}

}  // namespace JojoDiff
