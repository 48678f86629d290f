#include "tools/jojodiff/MappedInput.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace JojoDiff {

MappedInput::~MappedInput() {
    if (m_data) munmap(m_data, m_size);
    if (m_fd >= 0) close(m_fd);
}

MappedInput::Status MappedInput::Open(const char* path) {
    do {
        m_fd = open(path, O_RDONLY | O_CLOEXEC);
    } while (m_fd < 0 && errno == EINTR);
    if (m_fd < 0) return Status::OpenFailed;
    struct stat st;
    if (fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) return Status::OpenFailed;
    if (static_cast<uint64_t>(st.st_size) > SIZE_MAX) return Status::MapFailed;
    m_size = static_cast<size_t>(st.st_size);
    if (m_size == 0) return Status::Ok;
    void* p = mmap(nullptr, m_size, PROT_READ, MAP_PRIVATE, m_fd, 0);
    if (p == MAP_FAILED) {
        m_size = 0;
        return Status::MapFailed;
    }
    m_data = static_cast<uint8_t*>(p);
    return Status::Ok;
}

}  // namespace JojoDiff
