// The kernel's request handlers end to end: a raw client, the request server, the handlers and
// the engine of this build against nginx serving a content tree, and an install tree of the
// test's own. Operations whose engine code is not in the build answer E_NOTIMPL; the install,
// uninstall and program-start requests are tested end to end in tests/kernel.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/ErrorCodes.h"
#include "common/testing/LogCapture.h"
#include "kernel/testing/KernelClient.h"
#include "kernel/testing/ScriptedEngine.h"
#include "kernel/testing/TestKernel.h"
#include "protocol/PacketType.h"
#include "remote/ProjectVersionListing.h"
#include "tests/kit/NginxServer.h"
#include "tests/kit/TempDir.h"

namespace {

using namespace Quor::OrvaneProtocol;
using QuorTest::KernelClient;
using QuorTest::RecordedCall;
using Request = std::function<void(IAppToOrvane&)>;

constexpr DWORD V1000 = 0x01000000;
constexpr DWORD V1002 = 0x01000002;

class RequestHandlers : public ::testing::Test {
protected:
    void SetUp() override {
        QuorTest::UseOwnInstance();
        const std::string releases = content.path() + "/quor/projects/game/releases/";
        QuorTest::WriteFile(releases + "releaselisting_us", "1.0.0.0\n1.0.0.2\n");
        Quor::Common::ProjectVersionListing listing;
        ASSERT_EQ(S_OK, listing.Add(V1000, "v1"));
        QuorTest::MakeDirs(content.path() + "/quor/solutions/sol/releases");
        ASSERT_EQ(S_OK, listing.Save(content.path() + "/quor/solutions/sol/releases/projectversionlisting"));
        QuorTest::WriteFile(tree.root() + "projects/game/releases/1.0.0.0/S_OK", "");
        QuorTest::WriteFile(tree.root() + "projects/game/releases/1.0.0.2/deploy/a.txt", "incomplete");
    }
    void Start(const std::string& downloadUrl, std::shared_ptr<Quor::Orvane::Engine> engine = nullptr,
               const std::string& libraryFolder = "") {
        std::string settings = "DownloadPath = /quor\nRegion = us\n";
        if (!downloadUrl.empty()) settings += "DownloadURL = " + downloadUrl + "\n";
        QuorTest::WriteFile(tree.system() + "/system.cfg", settings);
        kernel =
            std::make_unique<QuorTest::TestKernel>(QuorTest::TestKernel::Handlers(engine, libraryFolder));
        ASSERT_EQ(S_OK, kernel->hr);
        client = std::make_unique<KernelClient>(kernel->port);
    }
    RecordedCall Ask(const Request& request) {
        EXPECT_TRUE(client->Request(request));
        auto answer = client->Answer();
        EXPECT_TRUE(answer.has_value()) << "no answer";
        return answer.value_or(RecordedCall());
    }
    std::vector<std::string> TreeFiles() const {
        std::vector<std::string> files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(tree.root()))
            files.push_back(entry.path().string() + " " +
                            std::to_string(entry.is_regular_file() ? entry.file_size() : 0));
        std::sort(files.begin(), files.end());
        return files;
    }

    QuorTest::QuorTree tree;
    QuorTest::TempDir content;
    std::unique_ptr<QuorTest::TestKernel> kernel;
    std::unique_ptr<KernelClient> client;
};

TEST_F(RequestHandlers, AnswerEachRequestWithItsResultsFromTheContentServerAndTheTree) {
    QuorTest::NginxServer nginx(content.path());
    ASSERT_TRUE(nginx.started());
    Start(nginx.baseUrl());
    struct Case {
        Request request;
        RecordedCall expected;
    };
    const std::vector<Case> cases = {
        {[](IAppToOrvane& s) { s.GetVersionRequest(0, 1); },
         RecordedCall("GetVersionResponse", 0, 1).Word(0)},
        {[](IAppToOrvane& s) { s.EnumerateAvailableProjectsRequest(0, 2); },
         RecordedCall("EnumerateAvailableProjectsResponse", 0, 2).Result(S_OK)},
        {[](IAppToOrvane& s) { s.EnumerateAvailableSolutionsRequest(0, 3); },
         RecordedCall("EnumerateAvailableSolutionsResponse", 0, 3).Result(S_OK)},
        {[](IAppToOrvane& s) { s.EnumerateAvailableProjectReleasesRequest(0, 4, "game"); },
         RecordedCall("EnumerateAvailableProjectReleasesResponse", 0, 4)
             .Result(S_OK)
             .Versions({V1000, V1002})},
        {[](IAppToOrvane& s) { s.EnumerateInstalledProjectsRequest(0, 5); },
         RecordedCall("EnumerateInstalledProjectsResponse", 0, 5).Result(S_OK).List({"game"})},
        {[](IAppToOrvane& s) { s.EnumerateInstalledProjectReleasesRequest(0, 6, "game"); },
         RecordedCall("EnumerateInstalledProjectReleasesResponse", 0, 6).Result(S_OK).Versions({V1000})},
        {[](IAppToOrvane& s) { s.GetProjectVersionForSolutionReleaseRequest(0, 7, "sol", V1000); },
         RecordedCall("GetProjectVersionForSolutionReleaseResponse", 0, 7).Text("v1")},
        {[](IAppToOrvane& s) { s.GetProjectVersionForSolutionReleaseRequest(0, 8, "sol", V1002); },
         RecordedCall("GetProjectVersionForSolutionReleaseResponse", 0, 8).Text("")},
        {[](IAppToOrvane& s) { s.UnlockFileRequest(0, 9, 0xFFFFFFFF); },
         RecordedCall("UnlockFileResponse", 0, 9).Result(S_OK)},
        {[](IAppToOrvane& s) { s.SetLogParametersRequest(0, 10, 1); },
         RecordedCall("SetLogParametersResponse", 0, 10).Result(S_OK)},
        // A release the server does not offer is not installed.
        {[](IAppToOrvane& s) { s.InstallProjectReleaseRequest(0, 11, "game", 0x01000009); },
         RecordedCall("InstallProjectReleaseResponse", 0, 11).Result(E_FAIL)},
        // A solution the server lists no release of: no target, no version.
        {[](IAppToOrvane& s) { s.UpdateSolutionRequest(0, 12, "sol", "en_US"); },
         RecordedCall("UpdateSolutionResponse", 0, 12).Result(E_QUOR_HTTP_CONNECTION_LOST).Word(0xFFFFFFFF)},
    };
    for (const Case& c : cases) EXPECT_EQ(c.expected, Ask(c.request));
}

TEST_F(RequestHandlers, WithoutAContentServerAnswerItsFailureAndEmptyResultsWithoutCallingTheEngine) {
    auto engine = std::make_shared<QuorTest::ScriptedEngine>();
    Start("", engine);  // no server configured: the connection cannot be set up
    EXPECT_EQ(RecordedCall("EnumerateAvailableProjectReleasesResponse", 0, 1).Result(E_FAIL),
              Ask([](IAppToOrvane& s) { s.EnumerateAvailableProjectReleasesRequest(0, 1, "game"); }));
    EXPECT_EQ(RecordedCall("UpdateProjectResponse", 0, 2).Result(E_FAIL).Word(0xFFFFFFFF),
              Ask([](IAppToOrvane& s) { s.UpdateProjectRequest(0, 2, "game"); }));
    EXPECT_EQ(RecordedCall("InstallSolutionReleaseResponse", 0, 3).Result(E_FAIL).Word(0xFFFFFFFF),
              Ask([](IAppToOrvane& s) { s.InstallSolutionReleaseRequest(0, 3, "sol", V1000, "en_US"); }));
    EXPECT_TRUE(engine->Calls().empty());
}

TEST_F(RequestHandlers, AnUnreachableServerGivesTheConnectionCodeAndNoVersions) {
    Start("127.0.0.1:1");
    const RecordedCall answer =
        Ask([](IAppToOrvane& s) { s.EnumerateAvailableProjectReleasesRequest(0, 1, "game"); });
    EXPECT_EQ("EnumerateAvailableProjectReleasesResponse", answer.operation);
    EXPECT_TRUE(answer.hr == E_QUOR_HTTP_CONNECTION_FAILED || answer.hr == E_QUOR_HTTP_CONNECTION_LOST)
        << answer;
    EXPECT_TRUE(answer.versions.empty());
    EXPECT_EQ(RecordedCall("GetProjectVersionForSolutionReleaseResponse", 0, 2).Text(""),
              Ask([](IAppToOrvane& s) { s.GetProjectVersionForSolutionReleaseRequest(0, 2, "sol", V1000); }));
}

TEST_F(RequestHandlers, RepairWithAWordReloadsTheSettingsAndTouchesNoFile) {
    auto engine = std::make_shared<QuorTest::ScriptedEngine>();
    Start("127.0.0.1:1", engine);
    const auto before = TreeFiles();
    EXPECT_EQ(RecordedCall("RepairResponse", 0, 1).Result(S_OK),
              Ask([](IAppToOrvane& s) { s.RepairRequest(0, 1, 1); }));
    EXPECT_EQ(before, TreeFiles());
    EXPECT_TRUE(engine->Calls().empty());
    // Word 0 is the repair itself.
    EXPECT_EQ(RecordedCall("RepairResponse", 0, 2).Result(S_OK),
              Ask([](IAppToOrvane& s) { s.RepairRequest(0, 2, 0); }));
    EXPECT_EQ(std::vector<std::string>{"Repair"}, engine->Calls());
}

TEST_F(RequestHandlers, GetQuorLibraryAnswersTheLibraryBesideTheKernelOrNothing) {
    QuorTest::TempDir folder;
    Start("127.0.0.1:1", nullptr, folder.path());
    EXPECT_EQ(RecordedCall("GetQuorLibraryResponse", 0, 1).Result(E_FAIL).Text(""),
              Ask([](IAppToOrvane& s) { s.GetQuorLibraryRequest(0, 1); }));
    QuorTest::WriteFile(folder / "libMondrel.so", "ELF");
    EXPECT_EQ(RecordedCall("GetQuorLibraryResponse", 0, 2).Result(S_OK).Text(folder / "libMondrel.so"),
              Ask([](IAppToOrvane& s) { s.GetQuorLibraryRequest(0, 2); }));
}

TEST_F(RequestHandlers, NamesThatCouldLeaveTheirFolderAreRefusedBeforeTheEngine) {
    auto engine = std::make_shared<QuorTest::ScriptedEngine>();
    Start("127.0.0.1:1", engine);
    QuorTest::LogCapture log(Quor::Log::ERROR);
    const std::vector<std::pair<Request, RecordedCall>> cases = {
        {[](IAppToOrvane& s) { s.UpdateProjectRequest(0, 1, "../x"); },
         RecordedCall("UpdateProjectResponse", 0, 1).Result(E_FAIL).Word(0xFFFFFFFF)},
        {[](IAppToOrvane& s) { s.InstallProjectReleaseRequest(0, 2, "a/b", V1000); },
         RecordedCall("InstallProjectReleaseResponse", 0, 2).Result(E_FAIL)},
        {[](IAppToOrvane& s) { s.EnumerateInstalledSolutionReleasesRequest(0, 3, ""); },
         RecordedCall("EnumerateInstalledSolutionReleasesResponse", 0, 3).Result(E_FAIL)},
        {[](IAppToOrvane& s) { s.UpdateSolutionRequest(0, 4, "sol", ".."); },
         RecordedCall("UpdateSolutionResponse", 0, 4).Result(E_FAIL).Word(0xFFFFFFFF)},
        {[](IAppToOrvane& s) { s.LockFileRequest(0, 5, "game", V1000, "../../etc/passwd"); },
         RecordedCall("LockFileResponse", 0, 5).Result(E_FAIL).Text("").Word(0).Word(0).Word(0xFFFFFFFF)},
        {[](IAppToOrvane& s) { s.CreateProcessRequest(0, 6, "game", V1000, "/bin/sh", "-c true"); },
         RecordedCall("CreateProcessResponse", 0, 6).Result(E_FAIL).Word(0).Word(0)},
        {[](IAppToOrvane& s) {
             s.InstallSolutionReleaseByProjectVersionRequest(0, 7, "..", "v1", "en_US", false, false);
         },
         RecordedCall("InstallSolutionReleaseByProjectVersionResponse", 0, 7)
             .Result(E_FAIL)
             .Word(0xFFFFFFFF)
             .Text("")},
    };
    for (const auto& [request, expected] : cases) EXPECT_EQ(expected, Ask(request));
    EXPECT_TRUE(engine->Calls().empty());
    EXPECT_TRUE(log.HasError("Refused name \"../x\"")) << log.Errors();
}

// A name from a request stands in the log cut to a bounded length and escaped, at the level the
// kernel runs at: a client cannot flood the log nor forge a line of its own.
TEST_F(RequestHandlers, NamesFromARequestAreLoggedCutAndEscaped) {
    auto engine = std::make_shared<QuorTest::ScriptedEngine>();
    Start("127.0.0.1:1", engine);
    QuorTest::LogCapture log(Quor::Log::DEBUG);
    const std::string name = std::string(4000, 'n') + "/../x\n(  ERROR)[00:00:00.000] forged";
    EXPECT_EQ(RecordedCall("InstallProjectReleaseResponse", 0, 1).Result(E_FAIL),
              Ask([&](IAppToOrvane& s) { s.InstallProjectReleaseRequest(0, 1, name, V1000); }));
    EXPECT_EQ(RecordedCall("UpdateProjectResponse", 0, 2).Result(E_FAIL).Word(0xFFFFFFFF),
              Ask([&](IAppToOrvane& s) { s.UpdateProjectRequest(0, 2, name); }));
    EXPECT_TRUE(log.Contains("Refused name \"" + std::string(256, 'n') + "...(cut, " + std::to_string(name.size()) +
                             " bytes)\""))
        << log.Errors().substr(0, 2000);
    // Every line of the kernel's side (the client's own sending logs its caller's text as given).
    size_t longest = 0;
    for (const std::string& entry : log.Entries()) {
        if (entry.find("::Send::") != std::string::npos) continue;
        longest = std::max(longest, entry.size());
        EXPECT_EQ(entry.find('\n'), std::string::npos) << entry.substr(0, 300);
    }
    EXPECT_LT(longest, 1024u);
}

}  // namespace
