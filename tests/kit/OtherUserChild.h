#pragma once
// Test helper: plays another user of the machine inside a test. OtherUserChild forks a child
// that switches to user and group nobody (65534) and runs the test's work there with a pipe to
// report through (its write end: write what the parent should learn, then close it); the child
// then keeps what it made open until the object dies, which ends and reaps it.
// Needs root (RunsAsRoot); the work runs in a forked copy of a possibly threaded process, so it
// keeps to plain system calls. Not thread-safe.
#include <fcntl.h>
#include <grp.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace QuorTest {

constexpr uid_t kNobodyUid = 65534;
constexpr gid_t kNobodyGid = 65534;

inline bool RunsAsRoot() { return ::geteuid() == 0; }

class OtherUserChild {
public:
    template <typename Work>
    explicit OtherUserChild(Work work) {
        int done[2], hold[2];
        if (::pipe2(done, O_CLOEXEC) != 0) return;
        if (::pipe2(hold, O_CLOEXEC) != 0) {
            ::close(done[0]);
            ::close(done[1]);
            return;
        }
        m_Pid = ::fork();
        if (m_Pid == 0) {
            ::close(done[0]);
            ::close(hold[1]);
            if (::setgroups(0, nullptr) != 0 || ::setresgid(kNobodyGid, kNobodyGid, kNobodyGid) != 0 ||
                ::setresuid(kNobodyUid, kNobodyUid, kNobodyUid) != 0)
                _exit(3);
            work(done[1]);
            char byte;
            while (::read(hold[0], &byte, 1) > 0) {
            }
            _exit(0);
        }
        ::close(done[1]);
        ::close(hold[0]);
        m_Done = done[0];
        m_Hold = hold[1];
        if (m_Pid < 0) Close();
    }
    ~OtherUserChild() {
        Close();
        if (m_Pid > 0) {
            int status = 0;
            while (::waitpid(m_Pid, &status, 0) < 0 && errno == EINTR) {
            }
        }
    }
    OtherUserChild(const OtherUserChild&) = delete;
    OtherUserChild& operator=(const OtherUserChild&) = delete;

    // What the child's work reported, once it closed its pipe (empty when it failed).
    std::string Await() {
        std::string text;
        char buffer[64];
        ssize_t n;
        while (m_Done >= 0 && (n = ::read(m_Done, buffer, sizeof buffer)) != 0) {
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) break;
            text.append(buffer, static_cast<size_t>(n));
        }
        return text;
    }

private:
    void Close() {
        if (m_Done >= 0) ::close(m_Done);
        if (m_Hold >= 0) ::close(m_Hold);
        m_Done = m_Hold = -1;
    }

    pid_t m_Pid = -1;
    int m_Done = -1;
    int m_Hold = -1;
};

}  // namespace QuorTest
