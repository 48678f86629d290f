// The game-version C interface as a C program sees it through libMondrel.so: without a kernel,
// against the kernel host program with a content server, buffers too small for a text, and the
// locale settings file.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "remote/ProjectVersionListing.h"
#include "tests/gameversion/ClientProgram.h"
#include "tests/kit/KernelProcess.h"
#include "tests/kit/LoopbackSocket.h"
#include "tests/kit/ScriptedHttpServer.h"
#include "tests/kit/TempDir.h"

namespace {

const std::string kFailure = "{\"result\":\"FAILURE\"}";

class GameVersionClient : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("ORVANE_INSTANCE", ("_gvtest" + std::to_string(::getpid())).c_str(), 1);
        const uint16_t port = QuorTest::FreeLoopbackPort();
        ASSERT_NE(port, 0);
        ::setenv("ORVANE_PORT", std::to_string(port).c_str(), 1);
    }
    void TearDown() override {
        if (!kernel) return;
        kernel->Signal(SIGTERM);
        EXPECT_EQ(kernel->Wait(), 0);
    }
    void StartKernel(const std::string& downloadUrl) {
        QuorTest::WriteFile(tree.system() + "/system.cfg",
                            "DownloadPath = /quor\nRegion = us\nDownloadURL = " + downloadUrl + "\n");
        kernel = std::make_unique<QuorTest::KernelProcess>(QUOR_KERNEL_HOST, tree.system());
        ASSERT_TRUE(kernel->WaitReady());
    }
    // Runs the C program in the system folder with the steps given; its lines.
    std::vector<std::string> Run(const std::vector<std::string>& steps) {
        const QuorTest::ClientRun run = QuorTest::RunGameVersionClient(tree.system(), scratch.path(), steps);
        EXPECT_EQ(run.status, 0) << run.errors;
        return run.lines;
    }

    QuorTest::QuorTree tree;
    QuorTest::TempDir scratch{"gvclient"};
    std::unique_ptr<QuorTest::KernelProcess> kernel;
};

TEST_F(GameVersionClient, WithoutKernelEveryRequestFailsAndThePollsAnswerFailureOrNothing) {
    QuorTest::WriteFile(tree.system() + "/locale.cfg", "locale = en_US\n");
    const auto lines = Run({"names", "install:1.0", "uninstall:1.0", "preview:1.0", "previewuninstall:1.0",
                            "path:1.0:1024", "enum:1024", "installprogress:1024", "uninstallprogress:1024",
                            "previewprogress:1024", "previewuninstallprogress:1024", "cancelinstall",
                            "cancelpreview"});
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "names kiv_game_client_sln Kindrel.exe",
                         "install:1.0 0 ",
                         "uninstall:1.0 0 ",
                         "preview:1.0 0 ",
                         "previewuninstall:1.0 0 ",
                         "path:1.0:1024 0 ",
                         "enum:1024 0 ",
                         "installprogress:1024 1 " + kFailure,
                         "uninstallprogress:1024 1 " + kFailure,
                         "previewprogress:1024 1 ",
                         "previewuninstallprogress:1024 1 ",
                         "cancelinstall 1 ",
                         "cancelpreview 1 ",
                     }));
}

TEST_F(GameVersionClient, ATextTooLongForTheBufferIsCutAndTerminatedAndSizeZeroWritesNothing) {
    const auto lines = Run({"tiny", "installprogress:20", "installprogress:21"});
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "tiny 0 {\"result\"",
                         "zero 0 abc",
                         "installprogress:20 0 " + kFailure.substr(0, 19),
                         "installprogress:21 1 " + kFailure,
                     }));
}

TEST_F(GameVersionClient, AgainstAKernelPollsFollowTheRequestsAndCancelEndsAnInstall) {
    QuorTest::ScriptedHttpServer server;
    ASSERT_TRUE(server.started());
    // The listing never arrives: the install keeps running until it is cancelled.
    server.SetResponse("/quor/solutions/kiv_game_client_sln/releases/projectversionlisting",
                       {.status = 200, .body = "x", .stallBeforeHeaders = QuorTest::kStallUntilStop});
    StartKernel(server.baseUrl());

    // No locale settings: neither a preview nor an install starts; an uninstall needs none.
    auto lines = Run({"installprogress:1024", "preview:1.0", "install:1.0", "installprogress:1024"});
    EXPECT_EQ(lines, (std::vector<std::string>{"installprogress:1024 1 " + kFailure, "preview:1.0 0 ",
                                               "install:1.0 0 ", "installprogress:1024 1 " + kFailure}));

    QuorTest::WriteFile(tree.system() + "/locale.cfg", "# no locale key\n");
    lines = Run({"install:1.0", "waitinstall:{\"result\":\"PATCHING\"", "cancelinstall", "installprogress:1024",
                 "preview:1.0", "previewprogress:1024", "cancelpreview", "previewprogress:1024"});
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "install:1.0 1 ",
                         "waitinstall:{\"result\":\"PATCHING\" 1 {\"result\":\"PATCHING\",\"percentDone\":0,"
                         "\"remainingTime\":0,\"remainingBytes\":0,\"currentFile\":\"\"}",
                         "cancelinstall 1 ",
                         "installprogress:1024 1 " + kFailure,
                         "preview:1.0 1 ",
                         "previewprogress:1024 1 {\"result\":\"CALCULATING\"}",
                         "cancelpreview 1 ",
                         "previewprogress:1024 1 ",
                     }));

    // The program exits while its install and preview run: the library cancels them as it unloads
    // and the program ends normally.
    lines = Run({"install:1.0", "preview:1.0", "waitinstall:{\"result\":\"PATCHING\""});
    EXPECT_EQ(lines.size(), 3u);
}

TEST_F(GameVersionClient, AFinishedPreviewShowsTheKernelsTextUntilCancelledAndFailedRequestsReturnFalse) {
    Quor::Common::ProjectVersionListing listing;
    ASSERT_EQ(S_OK, listing.Add(0x01000000, "1.0"));
    const std::string saved = tree.root() + "temp/projectversionlisting";
    ASSERT_EQ(S_OK, listing.Save(saved));
    std::ifstream in(saved, std::ios::binary);
    std::stringstream body;
    body << in.rdbuf();
    QuorTest::ScriptedHttpServer server;
    ASSERT_TRUE(server.started());
    server.SetResponse("/quor/solutions/kiv_game_client_sln/releases/projectversionlisting",
                       {.status = 200, .body = body.str()});
    StartKernel(server.baseUrl());
    QuorTest::WriteFile(tree.system() + "/locale.cfg", "locale = en_US\n");

    // This kernel cannot discover releases: the preview ends with its failure text, which stays
    // until the preview is cancelled. Nothing is installed, so the uninstall fails; no update ran,
    // so nothing can be listed; no version, no path.
    const auto lines = Run({"preview:1.0", "waitpreview", "previewprogress:1024", "cancelpreview",
                            "previewprogress:1024", "uninstall:1.0", "waitinstall:{\"result\":\"FAILURE\"}",
                            "enum:1024", "path:1.0:1024", "previewuninstall:1.0", "waitpreview"});
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "preview:1.0 1 ",
                         "waitpreview 1 " + kFailure,
                         "previewprogress:1024 1 " + kFailure,
                         "cancelpreview 1 ",
                         "previewprogress:1024 1 ",
                         "uninstall:1.0 1 ",
                         "waitinstall:{\"result\":\"FAILURE\"} 1 " + kFailure,
                         "enum:1024 0 ",
                         "path:1.0:1024 0 ",
                         "previewuninstall:1.0 1 ",
                         "waitpreview 1 " + kFailure,
                     }));
}

}  // namespace
