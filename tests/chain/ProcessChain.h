#pragma once
// ProcessChain: a program run together with every process it starts, directly or not (an update
// chain of kernels, the launcher a kernel starts, the patch tools), so that a test can wait for
// all of them or kill them all at one moment.
//
// The program starts through setsid(1), so it leads a session and process group of its own that
// its descendants keep (nothing of the system leaves its group); this test process becomes their
// subreaper (PR_SET_CHILD_SUBREAPER), so a descendant whose parent ended is reaped here. Output,
// environment and working folder as OrvaneRun (tests/kit/orvane/OrvaneRun.h).
// Errors fail the current test (ADD_FAILURE). The destructor kills and reaps what still runs.
// Not thread-safe.
#include <sys/types.h>

#include <string>
#include <vector>

#include "tests/kit/orvane/OrvaneRun.h"

namespace ChainTest {

class ProcessChain {
public:
    ProcessChain(const std::string& program, const std::string& folder, const std::vector<std::string>& arguments,
                 const QuorTest::OrvaneRun::Environment& extra = {});
    ~ProcessChain();
    ProcessChain(const ProcessChain&) = delete;
    ProcessChain& operator=(const ProcessChain&) = delete;

    // Waits until every process of the chain has ended; their exit statuses, the program's first
    // (-1: ended by a signal). After `seconds` the rest is killed and the test fails.
    std::vector<int> WaitAll(int seconds = 240);
    // True while any process of the chain runs.
    bool Running() const;
    // Kills every process of the chain at once (SIGKILL) and reaps them all.
    void KillAll();

    std::string Stdout() const { return m_run.Stdout(); }
    std::string Stderr() const { return m_run.Stderr(); }

private:
    // Reaps the group's processes that have ended (all of them with `block`); false once none is left.
    bool Reap(bool block, std::vector<int>& statuses);

    QuorTest::OrvaneRun m_run;
    pid_t m_group = -1;
};

}  // namespace ChainTest
