#pragma once
// Fixture of the chain tests: a port and a semaphore suffix of the test's own (inherited by every
// kernel it starts), a {base}/QUOR with the built kernel, the sample content served by nginx, and
// the checks that a finished run left what a clean one leaves.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/chain/ProcessChain.h"
#include "tests/chain/SampleContent.h"
#include "tests/kit/NginxServer.h"
#include "tests/kit/TempDir.h"
#include "tests/kit/orvane/OrvaneRoot.h"

namespace ChainTest {

class ChainFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Builds and serves the sample content of the releases up to `last`, lays out the root with
    // that server and publishes the root's kernel folder unchanged.
    void ServeSample(DWORD last);

    // A kernel takes every process named "Orvane" for another instance and then does not run its
    // command: lets the kernels of any other test on this machine end first.
    static void WaitForOtherKernels();
    // "updateandrun kiv_launcher KivLauncher.app" in {root}/system, as the launcher starts it
    // (once no other kernel runs).
    std::unique_ptr<ProcessChain> StartUpdateAndRun() const;

    // After a chain ended: every process of it ended with 0, the sample launcher printed its line
    // for `release`, the tree below `quor` (a {root}) is `expected` (logs, system/, temp/,
    // solutions/ and empty folders aside), its system/ holds what the server's kernel list names
    // (bytes and list) and nothing else, no temporary file is left below it and no process runs
    // from below its parent.
    void ExpectFinished(const std::vector<int>& statuses, const ProcessChain& chain, const std::string& quor,
                        DWORD release, const QuorTest::TreeSnapshot& expected) const;

    std::string Log() const { return QuorTest::ReadFile(root->root() + "/quor_orvane.log"); }

    QuorTest::TempDir outside{"outside"};
    QuorTest::TempDir content{"content"};
    std::unique_ptr<SampleContent> sample;
    std::unique_ptr<QuorTest::NginxServer> nginx;
    std::unique_ptr<QuorTest::OrvaneRoot> root;
};

}  // namespace ChainTest
