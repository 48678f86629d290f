// The kernel program and the system's quit request: SIGTERM during a stalled download ends the
// kernel at once (its window is hidden while the command runs), and the next run completes.
#include <signal.h>

#include <filesystem>

#include "tests/kit/AppBundle.h"
#include "tests/kit/ScriptedHttpServer.h"
#include "tests/orvane/OrvaneTest.h"

namespace OrvaneTest {
namespace {

namespace fs = std::filesystem;

class QuitRequestTest : public OrvaneTest {
protected:
    // The content tree of Serve() and the kernel's folder, answered by a scripted server; with
    // stall, each data file of the launcher's release sends its headers and one byte, then waits.
    void ScriptServer(bool stall) {
        for (const auto& entry : fs::recursive_directory_iterator(content.path())) {
            if (!entry.is_regular_file()) continue;
            const std::string path = "/" + fs::relative(entry.path(), content.path()).string();
            QuorTest::ScriptedResponse response{.body = QuorTest::ReadFile(entry.path())};
            if (stall && IsStalled(path)) {
                response.stallAfterBodyBytes = 1;
                response.stallInBody = QuorTest::kStallUntilStop;
            }
            server.SetResponse(path, response);
        }
    }
    static bool IsStalled(const std::string& path) {
        return Has(path, "/projects/kiv_launcher/releases/") && Has(path, "KivLauncher");
    }
    bool StalledDownloadStarted() const {
        for (int i = 0; i < 6000; ++i) {
            for (const QuorTest::RecordedRequest& request : server.requests())
                if (IsStalled(request.path)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    QuorTest::ScriptedHttpServer server;
};

TEST_F(QuitRequestTest, SigtermDuringAStalledDownloadEndsTheKernelAtOnceAndARerunCompletes) {
    Serve();  // builds the content tree and the root
    PublishSameKernel();
    ASSERT_TRUE(server.started());
    root->WriteSystemConfig(server.baseUrl(), "/quor", "xx");
    ScriptServer(true);
    {
        QuorTest::OrvaneRun run(*root, {"updateandrun", "kiv_launcher", "KivLauncher.app"});
        ASSERT_TRUE(run.started());
        ASSERT_TRUE(StalledDownloadStarted()) << run.Stderr();
        ::kill(run.pid(), SIGTERM);
        run.Wait(60);
        EXPECT_EQ(SIGTERM, run.TermSignal()) << run.Stderr();
    }
    EXPECT_TRUE(Has(Log(), "Quit requested (signal 15)")) << Log();
    EXPECT_FALSE(fs::exists(record()));

    ScriptServer(false);
    std::string errors;
    EXPECT_EQ(0, QuorTest::RunOrvane(*root, {"updateandrun", "kiv_launcher", "KivLauncher.app"}, {}, &errors))
        << errors;
    ASSERT_TRUE(QuorTest::WaitForFile(record()));
    EXPECT_TRUE(fs::exists(root->root() + "/projects/kiv_launcher/releases/0.0.0.1/S_OK"));
}

}  // namespace
}  // namespace OrvaneTest
