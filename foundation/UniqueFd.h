#pragma once
// Vorn::UniqueFd: sole owner of one POSIX file descriptor, closed when the owner dies.
// Movable, not copyable; not thread-safe (one owner).
#include <unistd.h>

#include <utility>

namespace Vorn {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            Reset();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return m_fd; }
    bool IsValid() const { return m_fd >= 0; }
    // Gives the descriptor up to the caller (-1 when there is none).
    int Release() { return std::exchange(m_fd, -1); }
    void Reset() {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
};

}  // namespace Vorn
