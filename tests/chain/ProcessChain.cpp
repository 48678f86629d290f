#include "tests/chain/ProcessChain.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <chrono>
#include <thread>

namespace ChainTest {

namespace {

constexpr const char* kSetsid = "/usr/bin/setsid";

std::vector<std::string> Prepend(const std::string& program, const std::vector<std::string>& arguments) {
    std::vector<std::string> all{program};
    all.insert(all.end(), arguments.begin(), arguments.end());
    return all;
}

bool BecomeSubreaper() {
    static const bool done = ::prctl(PR_SET_CHILD_SUBREAPER, 1) == 0;
    return done;
}

// Called before the program starts, so that none of its descendants can escape this process.
const char* SetsidAfterBecomingSubreaper() {
    if (!BecomeSubreaper()) ADD_FAILURE() << "cannot become the subreaper of the chain: " << strerror(errno);
    return kSetsid;
}

int ExitStatus(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

}  // namespace

ProcessChain::ProcessChain(const std::string& program, const std::string& folder,
                           const std::vector<std::string>& arguments, const QuorTest::OrvaneRun::Environment& extra)
    : m_run(SetsidAfterBecomingSubreaper(), folder, Prepend(program, arguments), extra) {
    // setsid execs the program in place (the child is no group leader), so its id is the group's.
    if (m_run.started()) m_group = m_run.pid();
}

ProcessChain::~ProcessChain() { KillAll(); }

bool ProcessChain::Reap(bool block, std::vector<int>& statuses) {
    for (;;) {
        int status = 0;
        const pid_t pid = ::waitpid(-m_group, &status, block ? 0 : WNOHANG);
        if (pid > 0) {
            statuses.push_back(ExitStatus(status));
            continue;
        }
        if (pid < 0 && errno == EINTR) continue;
        return pid == 0;  // 0: some still run; -1 (ECHILD): none is left
    }
}

std::vector<int> ProcessChain::WaitAll(int seconds) {
    std::vector<int> statuses;
    if (m_group <= 0) return statuses;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    // The program itself is OrvaneRun's child to reap; the others come to this process.
    statuses.push_back(m_run.Wait(seconds));
    while (Reap(false, statuses)) {
        if (std::chrono::steady_clock::now() > end) {
            ADD_FAILURE() << "the chain still ran after " << seconds << " s; killed";
            ::kill(-m_group, SIGKILL);
            Reap(true, statuses);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    m_group = -1;
    return statuses;
}

bool ProcessChain::Running() const { return m_group > 0 && ::kill(-m_group, 0) == 0; }

void ProcessChain::KillAll() {
    if (m_group <= 0) return;
    ::kill(-m_group, SIGKILL);
    m_run.Wait();
    std::vector<int> ignored;
    Reap(true, ignored);
    m_group = -1;
}

}  // namespace ChainTest
