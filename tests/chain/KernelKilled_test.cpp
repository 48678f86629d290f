// The kernel killed, with every process of its update chain, at random moments of "updateandrun",
// then started again: the second run finishes the work as if nothing had happened. Three starting
// points: a fresh install, an update by jdiff patches, and an update that also brings new files
// of the kernel itself (a restart through the staged copy). The moments are drawn from the length
// of an uninterrupted run; the seed is printed, and QUOR_KILL_SEED repeats a sequence.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>

#include "tests/chain/ChainFixture.h"
#include "tests/kit/orvane/OrvaneRoot.h"

namespace ChainTest {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kKillsPerStart = 10;

class KernelKilled : public ChainFixture {
protected:
    // Serves the releases up to `served`; with `installFirst` release 0.0.0.1 is installed before
    // the starting point is saved; with `newKernel` the server then offers a kernel folder whose
    // program changed, whose library has a higher version, with a file added and one dropped.
    void Prepare(DWORD served, bool installFirst, bool newKernel) {
        ServeSample(served);
        if (HasFatalFailure()) return;
        target = served;
        if (installFirst) {
            std::string errors;
            WaitForOtherKernels();
            ASSERT_EQ(0, QuorTest::RunOrvane(*root, {"-noupdate", "InstallProjectRelease", kProject, "0.0.0.1"}, {},
                                             &errors))
                << errors;
            ASSERT_TRUE(fs::exists(root->root() + "/projects/kiv_launcher/releases/0.0.0.1/S_OK")) << Log();
        }
        if (newKernel) PublishNewKernel();
        QuorTest::RemoveTree(saved.path());
        fs::copy(root->root(), saved.path(), fs::copy_options::recursive);
        expected = sample->ExpectedInstall(served);
    }

    void PublishNewKernel() const {
        auto installed = root->files();
        installed.push_back({"old.dat", 1});
        QuorTest::WriteFile(root->system() + "/old.dat", "dropped by the next kernel");
        QuorTest::WriteVersionList(root->system() + "/filelist.versioninfo", installed);

        QuorTest::SystemFileList served;
        for (auto file : root->files()) {
            if (file.path == "Orvane.app/Contents/MacOS/Orvane" || file.path == "libMondrel.so") file.version = 2;
            served.push_back(file);
        }
        served.push_back({"extra.dat", 1});
        QuorTest::PublishKernelFolder(content.path(), kDownloadPath, root->system(), served);
        const std::string folder = content.path() + kDownloadPath + "/system/";
        // A program with bytes appended still runs: the next kernel differs from this one.
        std::string program = QuorTest::ReadFile(root->kernel());
        program += "\nnext kernel\n";
        QuorTest::WriteFile(folder + "Orvane.app/Contents/MacOS/Orvane", program);
        QuorTest::WriteFile(folder + "extra.dat", "added by the next kernel");
    }

    void Restore() const {
        QuorTest::RemoveTree(root->root());
        fs::copy(saved.path(), root->root(), fs::copy_options::recursive);
    }

    // An uninterrupted run from the starting point (none after a failure); how long it took.
    Clock::duration RunClean() {
        if (HasFailure()) return {};
        Restore();
        const size_t served = nginx->accessLog().size();
        const auto start = Clock::now();
        auto chain = StartUpdateAndRun();
        const std::vector<int> statuses = chain->WaitAll();
        const auto length = Clock::now() - start;
        SCOPED_TRACE("uninterrupted run");
        ExpectFinished(statuses, *chain, root->root(), target, expected);
        uint64_t fetched = 0;
        const auto log = nginx->accessLog();
        for (size_t i = served; i < log.size(); ++i) fetched += log[i].bodyBytes;
        fetchedBytes = fetched;
        return length;
    }

    // Kills at random moments of a run as long as `length`, each followed by a run to the end;
    // stops at the first failure.
    void KillAndRerun(Clock::duration length) {
        const char* given = std::getenv("QUOR_KILL_SEED");
        const unsigned seed = given ? static_cast<unsigned>(std::strtoul(given, nullptr, 10)) : std::random_device{}();
        std::cout << "kill moments: QUOR_KILL_SEED=" << seed << "\n";
        std::mt19937 random(seed);
        std::uniform_int_distribution<long long> moment(
            0, std::chrono::duration_cast<std::chrono::microseconds>(length).count());
        int hits = 0;
        for (int kill = 1; kill <= kKillsPerStart && !HasFailure(); ++kill) {
            const auto after = std::chrono::microseconds(moment(random));
            SCOPED_TRACE("QUOR_KILL_SEED=" + std::to_string(seed) + ", kill " + std::to_string(kill) + " after " +
                         std::to_string(after.count()) + " us");
            Restore();
            {
                auto chain = StartUpdateAndRun();
                std::this_thread::sleep_for(after);
                if (chain->Running()) ++hits;
                chain->KillAll();
            }
            const auto rerunStart = Clock::now();
            auto rerun = StartUpdateAndRun();
            const std::vector<int> statuses = rerun->WaitAll();
            std::cout << "kill " << kill << " after " << after.count() << " us; rerun "
                      << std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - rerunStart).count()
                      << " ms\n";
            ExpectFinished(statuses, *rerun, root->root(), target, expected);
        }
        std::cout << hits << " of " << kKillsPerStart << " kills met a running chain\n";
    }

    QuorTest::TempDir saved{"startingpoint"};
    QuorTest::TreeSnapshot expected;
    DWORD target = 0;
    uint64_t fetchedBytes = 0;
};

TEST_F(KernelKilled, DuringAFreshInstall) {
    Prepare(kFirstRelease, false, false);
    const auto length = RunClean();
    KillAndRerun(length);
}

TEST_F(KernelKilled, DuringAnUpdateByPatches) {
    Prepare(kSecondRelease, true, false);
    const auto length = RunClean();
    ASSERT_FALSE(HasFailure());
    // The patches are what travel: less than the changed files hold whole.
    EXPECT_LT(fetchedBytes, sample->ChangedBytes(kSecondRelease));
    KillAndRerun(length);
}

TEST_F(KernelKilled, DuringAnUpdateThatAlsoReplacesTheKernel) {
    Prepare(kSecondRelease, true, true);
    const auto length = RunClean();
    ASSERT_FALSE(HasFailure());
    EXPECT_TRUE(fs::exists(root->root() + "/self_update.log"));
    KillAndRerun(length);
}

}  // namespace
}  // namespace ChainTest
