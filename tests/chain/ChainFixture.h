#pragma once
// Fixture of the chain tests: the kernel program's fixture (a port and a semaphore suffix of the
// test's own, a {base}/QUOR with the built kernel) serving the sample content with nginx, and the
// checks that a finished run left what a clean one leaves.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/chain/ProcessChain.h"
#include "tests/chain/SampleContent.h"
#include "tests/orvane/OrvaneTest.h"

namespace ChainTest {

class ChainFixture : public OrvaneTest::OrvaneTest {
protected:
    // Builds and serves the sample content of the releases up to `last`, lays out the root with
    // that server and publishes the root's kernel folder unchanged.
    void ServeSample(DWORD last);

    // "updateandrun kiv_launcher KivLauncher.app" in {root}/system, as the launcher starts it.
    std::unique_ptr<ProcessChain> StartUpdateAndRun() const;

    // After a chain ended: every process of it ended with 0, the sample launcher printed its line
    // for `release`, the tree below `quor` (a {root}) is `expected` (logs, system/, temp/,
    // solutions/ and empty folders aside), its system/ holds what the server's kernel list names (bytes and list) and nothing
    // else, no temporary file is left below it and no process runs from below its parent.
    void ExpectFinished(const std::vector<int>& statuses, const ProcessChain& chain, const std::string& quor,
                        DWORD release, const QuorTest::TreeSnapshot& expected) const;

    std::unique_ptr<SampleContent> sample;
};

}  // namespace ChainTest
