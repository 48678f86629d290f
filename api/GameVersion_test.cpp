// The game-version C interface against a scripted kernel: what each function sends, and the texts
// a caller polls while the kernel reports progress and answers.
#include "api/GameVersion.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <thread>

#include "api/Main.h"
#include "api/testing/KernelPackets.h"
#include "foundation/SharedMutex.h"
#include "tests/kit/FakeKernel.h"
#include "tests/kit/TempDir.h"

namespace {

using QuorTest::RecordedCall;
using Sender = Quor::OrvaneProtocol::IOrvaneToApp;

const std::string kFailure = "{\"result\":\"FAILURE\"}";

class GameVersionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("ORVANE_INSTANCE", ("_gvunit" + std::to_string(::getpid())).c_str(), 1);
        ::setenv("ORVANE_PORT", std::to_string(kernel.Port()).c_str(), 1);
        semaphore = Vorn::SharedMutex::Create(Quor::API::Impl::Main::kKernelSemaphore);
        ASSERT_TRUE(semaphore && semaphore->IsValid());
        QuorTest::WriteFile(tree.system() + "/locale.cfg", "locale = fr_fr\n");
    }
    // The next request the library sent, waited for.
    RecordedCall NextRequest() {
        EXPECT_TRUE(kernel.WaitForBytes(consumed + 4));
        auto bytes = kernel.Received();
        const DWORD length = Vorn::Bytes::LoadLE32(bytes.data() + consumed);
        EXPECT_TRUE(kernel.WaitForBytes(consumed + length));
        bytes = kernel.Received();
        const auto calls = QuorTest::DecodeRequests(
            std::vector<BYTE>(bytes.begin() + consumed, bytes.begin() + consumed + length));
        consumed += length;
        return calls.empty() ? RecordedCall() : calls[0];
    }
    void Answer(const std::function<void(Sender&)>& send) { ASSERT_TRUE(kernel.Send(QuorTest::KernelBytes(send))); }
    void Progress(DWORD id, float elapsed, float remaining, const std::string& item) {
        Answer([&](Sender& s) {
            s.RequestProgress(0, id, 0, 0, 0, 0, 10, 110, {}, {}, elapsed, remaining, item);
        });
    }
    // Polls until the text holds `part`.
    static std::string PollUntil(bool (*getter)(char*, unsigned), const std::string& part) {
        char text[2048] = "";
        for (int i = 0; i < 2000; ++i) {
            getter(text, sizeof text);
            if (std::string(text).find(part) != std::string::npos) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return text;
    }
    static std::string Poll(bool (*getter)(char*, unsigned)) {
        char text[2048] = "";
        EXPECT_TRUE(getter(text, sizeof text));
        return text;
    }

    QuorTest::QuorTree tree;
    QuorTest::ScopedCwd cwd{tree.system()};
    QuorTest::FakeKernel kernel;
    std::shared_ptr<Vorn::SharedMutex> semaphore;
    size_t consumed = 0;
};

TEST_F(GameVersionTest, InstallReportsPatchingWithAPercentageThatNeverDropsThenSuccess) {
    EXPECT_EQ(Poll(GetInstallGameProgress), kFailure);
    ASSERT_TRUE(InstallGameVersion("1.0"));
    const RecordedCall request = NextRequest();
    EXPECT_EQ(request.operation, "InstallSolutionReleaseByProjectVersionRequest");
    EXPECT_EQ(request.texts, (std::vector<std::string>{"kiv_game_client_sln", "1.0", "fr_fr"}));
    EXPECT_EQ(request.flags, (std::vector<bool>{false, false}));
    EXPECT_EQ(Poll(GetInstallGameProgress),
              "{\"result\":\"PATCHING\",\"percentDone\":0,\"remainingTime\":0,\"remainingBytes\":0,"
              "\"currentFile\":\"\"}");

    Progress(request.requestId, 30, 90, "data\\a.pak");
    EXPECT_EQ(PollUntil(GetInstallGameProgress, "a.pak"),
              "{\"result\":\"PATCHING\",\"percentDone\":25,\"remainingTime\":90,\"remainingBytes\":100,"
              "\"currentFile\":\"data/a.pak\"}");
    Progress(request.requestId, 31, 200, "b\"c");
    EXPECT_EQ(PollUntil(GetInstallGameProgress, "b\\\"c"),
              "{\"result\":\"PATCHING\",\"percentDone\":25,\"remainingTime\":200,\"remainingBytes\":100,"
              "\"currentFile\":\"b\\\"c\"}");

    Answer([&](Sender& s) {
        s.InstallSolutionReleaseByProjectVersionResponse(0, request.requestId, S_OK, 0x01000000, "");
    });
    EXPECT_EQ(PollUntil(GetUninstallGameProgress, "SUCCESS"), "{\"result\":\"SUCCESS\"}");
    EXPECT_EQ(Poll(GetInstallGameProgress), "{\"result\":\"SUCCESS\"}");

    // A new uninstall resets the outcome and the percentage; a failed one ends with FAILURE.
    ASSERT_TRUE(UninstallGameVersion("0.9"));
    const RecordedCall uninstall = NextRequest();
    EXPECT_EQ(uninstall.texts, (std::vector<std::string>{"kiv_game_client_sln", "0.9", ""}));
    EXPECT_EQ(uninstall.flags, (std::vector<bool>{false, true}));
    EXPECT_NE(Poll(GetUninstallGameProgress).find("\"percentDone\":0,"), std::string::npos);
    Answer([&](Sender& s) {
        s.InstallSolutionReleaseByProjectVersionResponse(0, uninstall.requestId, E_FAIL, 0xFFFFFFFF, "");
    });
    EXPECT_EQ(PollUntil(GetUninstallGameProgress, "result\":\"F"), kFailure);
}

TEST_F(GameVersionTest, CancellingAnInstallSendsCancelAndTheNextPollFails) {
    ASSERT_TRUE(InstallGameVersion("1.0"));
    const RecordedCall request = NextRequest();
    EXPECT_TRUE(CancelInstallGame());
    const RecordedCall cancel = NextRequest();
    EXPECT_EQ(cancel.operation, "CancelRequest");
    EXPECT_EQ(cancel.requestId, request.requestId);
    EXPECT_EQ(Poll(GetInstallGameProgress), kFailure);
}

TEST_F(GameVersionTest, PreviewShowsCalculatingThenTheKernelsTextUntilCancelled) {
    ASSERT_TRUE(PreviewGameVersion("2.0"));
    const RecordedCall request = NextRequest();
    EXPECT_EQ(request.texts, (std::vector<std::string>{"kiv_game_client_sln", "2.0", "fr_fr"}));
    EXPECT_EQ(request.flags, (std::vector<bool>{true, false}));
    EXPECT_EQ(Poll(GetPreviewGameProgress), "{\"result\":\"CALCULATING\"}");
    const std::string text = "{\"result\":\"SUCCESS\",\"remainingTime\":5,\"remainingBytes\":7}";
    Answer([&](Sender& s) {
        s.InstallSolutionReleaseByProjectVersionResponse(0, request.requestId, S_OK, 0xFFFFFFFF, text);
    });
    EXPECT_EQ(PollUntil(GetPreviewGameProgress, "remainingTime"), text);
    EXPECT_EQ(Poll(GetPreviewUninstallGameProgress), text);
    EXPECT_TRUE(CancelPreviewUninstallGame());
    EXPECT_EQ(Poll(GetPreviewGameProgress), "");

    ASSERT_TRUE(PreviewUninstallGameVersion("0.9"));
    const RecordedCall uninstall = NextRequest();
    EXPECT_EQ(uninstall.texts, (std::vector<std::string>{"kiv_game_client_sln", "0.9", ""}));
    EXPECT_EQ(uninstall.flags, (std::vector<bool>{true, true}));
}

TEST_F(GameVersionTest, PathAndListingBlockUntilTheKernelAnswersAndNeverOverrunTheBuffer) {
    const std::string path = tree.root() + "solutions/kiv_game_client_sln/releases/1.0.0.2/deploy/Kindrel.exe";
    // Each call is answered by this thread while the library waits on another.
    const auto answered = [&](const std::function<bool()>& call, DWORD version, const std::string& text,
                              HRESULT hr = S_OK) {
        bool result = false;
        std::thread caller([&] { result = call(); });
        const RecordedCall request = NextRequest();
        Answer([&](Sender& s) {
            s.InstallSolutionReleaseByProjectVersionResponse(0, request.requestId, hr, version, text);
        });
        caller.join();
        return std::make_pair(result, request);
    };
    char buffer[1024];
    std::fill(std::begin(buffer), std::end(buffer), 'x');
    const auto [found, asked] =
        answered([&] { return GameVersionToPath("1.0", buffer, static_cast<unsigned>(path.size() + 1)); },
                 0x01000002, "{\"result\":\"INSTALLED\"}");
    EXPECT_TRUE(found);
    EXPECT_EQ(std::string(buffer), path);
    EXPECT_EQ(asked.flags, (std::vector<bool>{true, false}));

    std::fill(std::begin(buffer), std::end(buffer), 'x');
    EXPECT_FALSE(
        answered([&] { return GameVersionToPath("1.0", buffer, static_cast<unsigned>(path.size())); }, 0x01000002, "")
            .first);
    EXPECT_EQ(buffer[0], 'x');  // untouched
    EXPECT_FALSE(answered([&] { return GameVersionToPath("1.0", buffer, sizeof buffer); }, 0xFFFFFFFF, "").first);

    const auto [listed, listing] =
        answered([&] { return EnumerateUninstallableGameVersions(buffer, sizeof buffer); }, 0xFFFFFFFF,
                 "[\"0.9\",\"0.8\"]");
    EXPECT_TRUE(listed);
    EXPECT_EQ(std::string(buffer), "[\"0.9\",\"0.8\"]");
    EXPECT_EQ(listing.texts, (std::vector<std::string>{"kiv_game_client_sln", "", ""}));
    EXPECT_FALSE(answered([&] { return EnumerateUninstallableGameVersions(buffer, 5); }, 0xFFFFFFFF,
                          "[\"0.9\"]")
                     .first);
    EXPECT_EQ(std::string(buffer), "[\"0.");
    EXPECT_FALSE(answered([&] { return EnumerateUninstallableGameVersions(buffer, sizeof buffer); }, 0xFFFFFFFF,
                          "", E_FAIL)
                     .first);
}

}  // namespace
