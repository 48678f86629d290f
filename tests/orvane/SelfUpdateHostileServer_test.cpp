// The kernel's self-update against a hostile server: what an endless, a chunked endless or a
// trickling kernel file may cost (bytes under {root}, time to the answer), and a quit request
// (SIGTERM, SIGINT) while the list or a file trickles in. In every case {root}/system stays as it
// was and nothing is staged.
#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "kernel/SelfUpdateBound.h"
#include "tests/kit/ScriptedHttpServer.h"
#include "tests/orvane/OrvaneTest.h"

namespace OrvaneTest {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr uint64_t kMiB = 1u << 20;
// What the file system, the list and the sockets' buffers may add to a bound.
constexpr uint64_t kSlack = 8 * kMiB;

// Bytes of the regular files below folder (links not followed); skipTemp leaves out folder/temp.
uint64_t BytesBelow(const std::string& folder, bool skipTemp = false) {
    std::error_code error;
    uint64_t bytes = 0;
    fs::recursive_directory_iterator walk(folder, error);
    for (const fs::recursive_directory_iterator end; !error && walk != end; walk.increment(error)) {
        if (skipTemp && walk.depth() == 0 && walk->path().filename() == "temp") {
            walk.disable_recursion_pending();
            continue;
        }
        std::error_code ignored;
        if (walk->is_symlink(ignored) || !walk->is_regular_file(ignored)) continue;
        const uintmax_t size = walk->file_size(ignored);
        if (!ignored) bytes += size;
    }
    return bytes;
}

class SelfUpdateHostileServerTest : public OrvaneTest {
protected:
    // A fresh server and root for one case; the served list names the kernel at version 2.
    void LayOut() {
        server = std::make_unique<QuorTest::ScriptedHttpServer>();
        ASSERT_TRUE(server->started());
        root = std::make_unique<QuorTest::OrvaneRoot>(server->baseUrl());
        QuorTest::SystemFileList served = root->files();
        served[0].version = 2;
        for (const QuorTest::SystemFile& file : served) list += file.path + "," + std::to_string(file.version) + "\n";
    }
    std::string KernelPath() const { return "/quor/system/" + root->files()[0].path; }
    static constexpr const char* kListPath = "/quor/system/filelist.versioninfo";

    // Waits for the run to end (killing it after limit); the most bytes {root} held meanwhile.
    uint64_t PeakWhileRunning(QuorTest::OrvaneRun& run, std::chrono::seconds limit, Clock::duration& took) {
        const Clock::time_point start = Clock::now();
        uint64_t peak = 0;
        while (run.Running() && Clock::now() - start < limit) {
            peak = std::max(peak, BytesBelow(root->root()));
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        took = Clock::now() - start;
        return peak;
    }

    void ExpectNothingStaged(const SystemState& before, const std::string& what) {
        EXPECT_TRUE(SystemState(*root) == before) << what;
        EXPECT_FALSE(fs::exists(root->system() + "/temp/" + root->files()[0].path)) << what;
        EXPECT_FALSE(fs::exists(root->system() + "/temp/filelist.versioninfo")) << what;
    }

    std::unique_ptr<QuorTest::ScriptedHttpServer> server;
    std::string list;
};

// Each kernel file body passes the bound: the download is cut there and not tried again, the run
// ends as a failed self-update does (exit 255), and a later start serves its command.
TEST_F(SelfUpdateHostileServerTest, AKernelFilePastTheBoundIsCutThereAndTheRunEndsAsAFailedUpdate) {
    LayOut();
    const uint64_t cap = Quor::Orvane::kSelfUpdateSizeFactor * BytesBelow(root->system(), true);
    const uint64_t endless = cap + 64 * kMiB;  // ends at last, so that an unbounded kernel ends too
    root.reset();
    server.reset();
    const struct {
        const char* what;
        QuorTest::ScriptedResponse answer;
        std::chrono::seconds limit;
    } roads[] = {
        {"endless, no Content-Length", {.contentLength = false, .padBodyTo = endless}, std::chrono::seconds(120)},
        {"chunked endless", {.padBodyTo = endless, .chunked = true}, std::chrono::seconds(120)},
        // The announced length is past the bound: refused before a byte of the body.
        {"trickling, length past the bound",
         {.padBodyTo = endless, .trickleEvery = std::chrono::milliseconds(10), .trickleBytes = 11},
         std::chrono::seconds(30)},
    };
    for (const auto& road : roads) {
        LayOut();
        server->SetResponse(kListPath, {.body = list});
        server->SetResponse(KernelPath(), road.answer);
        const SystemState before(*root);
        const uint64_t bytesBefore = BytesBelow(root->root());

        QuorTest::OrvaneRun run(*root, {"noop"});
        ASSERT_TRUE(run.started()) << road.what;
        Clock::duration took{};
        const uint64_t peak = PeakWhileRunning(run, road.limit, took);
        EXPECT_FALSE(run.Running()) << road.what << ": no answer within " << road.limit.count() << " s";
        EXPECT_EQ(255, run.Wait(5)) << road.what << "\n" << run.Stderr();
        ASSERT_TRUE(QuorTest::WaitForNoProcessBelow(root->base())) << road.what;
        EXPECT_LE(peak, bytesBefore + cap + kSlack) << road.what;
        EXPECT_LE(server->largestBodySent(), cap + kSlack) << road.what;
        EXPECT_EQ(1u, server->RequestCount(KernelPath())) << road.what;
        EXPECT_TRUE(Has(Log(), "Failed to download update to file: " + root->files()[0].path)) << road.what << Log();
        ExpectNothingStaged(before, road.what);

        std::string errors;
        EXPECT_EQ(0, QuorTest::RunOrvane(*root, {"-noupdate", "help"}, {}, &errors)) << road.what << errors;
        EXPECT_TRUE(SystemState(*root) == before) << road.what;
        root.reset();
        server.reset();
    }
}

// SIGTERM and SIGINT while the list or the kernel file trickles in end the kernel within 2 s (the
// test allows twice that for slow builds), with {root}/system as it was.
TEST_F(SelfUpdateHostileServerTest, AQuitRequestDuringATricklingListOrFileEndsTheKernelPromptly) {
    constexpr std::chrono::seconds kLimit{4};
    // About 1,100 bytes a second: faster than a stalled transfer, far slower than the file needs.
    const QuorTest::ScriptedResponse trickle{.contentLength = false, .padBodyTo = 1024 * kMiB, .padWith = '\n',
                                             .trickleEvery = std::chrono::milliseconds(10), .trickleBytes = 11};
    for (const bool listTrickles : {true, false}) {
        for (const int signal : {SIGTERM, SIGINT}) {
            const std::string what = std::string(listTrickles ? "list" : "kernel file") + " trickling, signal " +
                                     std::to_string(signal);
            LayOut();
            QuorTest::ScriptedResponse listAnswer{.body = list};
            if (listTrickles) {
                listAnswer = trickle;
                listAnswer.body = list;
            }
            server->SetResponse(kListPath, listAnswer);
            server->SetResponse(KernelPath(), trickle);
            const std::string trickling = listTrickles ? kListPath : KernelPath();
            const SystemState before(*root);

            QuorTest::OrvaneRun run(*root, {"noop"});
            ASSERT_TRUE(run.started()) << what;
            ASSERT_TRUE(server->WaitForRequestsTo(trickling, 1)) << what << run.Stderr();
            // The body has begun to come in.
            for (int i = 0; i < 1000 && server->largestBodySent() == 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            const Clock::time_point sent = Clock::now();
            ASSERT_EQ(0, ::kill(run.pid(), signal)) << what;
            while (run.Running() && Clock::now() - sent < kLimit) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            EXPECT_FALSE(run.Running()) << what << ": still running " << kLimit.count() << " s after the signal";
            run.Wait(5);
            EXPECT_NE(SIGKILL, run.TermSignal()) << what;
            ASSERT_TRUE(QuorTest::WaitForNoProcessBelow(root->base())) << what;
            EXPECT_TRUE(Has(Log(), "Quit requested (signal " + std::to_string(signal) + ")")) << what << Log();
            ExpectNothingStaged(before, what);
            root.reset();
            server.reset();
        }
    }
}

}  // namespace
}  // namespace OrvaneTest
