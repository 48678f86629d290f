// Several downloads in flight against the scripted loopback server: a fetch that fails among
// others in flight goes to the failure list while the others are queued and placed, files are
// queued in the order their fetches end, and destroying the manager ends every fetch in flight.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

#include "archive/ManagedFileHelper.h"
#include "common/ErrorCodes.h"
#include "common/testing/LogCapture.h"
#include "install/DownloadFilesStep.h"
#include "install/DownloadManager.h"
#include "tests/download/DownloadFixture.h"
#include "tests/kit/content/TreeSnapshot.h"

namespace {

using Quor::User::DownloadManager;
using QuorTest::Md5Hex;
using QuorTest::ReadFile;

constexpr unsigned kInFlight = 4;
constexpr size_t kAttempts = 3;  // the HTTP server's attempts per failing fetch

class TransfersInFlightTest : public QuorTest::DownloadManagerFixture {
protected:
    void SetUp() override {
        DownloadManagerFixture::SetUp();
        server = std::make_unique<Quor::User::RemoteFileServerHTTP>(connection, kInFlight);
    }
    // The connection that carried the first request for a file (0: none).
    unsigned ConnectionOf(const std::string& name) const {
        for (const auto& request : http.requests())
            if (request.path == FilesUrl() + name) return request.connection;
        return 0;
    }
    // The first file answers only after a pause, so the others pass it while it is in flight.
    void AddSlowFirst() {
        Add("0slow.bin", 0, std::string(5000, 'S'));
        http.SetResponse(FilesUrl() + "0slow.bin",
                         {.body = std::string(5000, 'S'), .stallBeforeHeaders = std::chrono::seconds(3)});
    }
    // A missing file and one whose body is cut short on every attempt, between good ones.
    void AddMixedWithTwoFailures() {
        Add("a.txt", 0, "first");
        Add("missing.txt", 0, "never served", false);
        Add("z.txt", 0x04, std::string(3000, 'z'));
        Add("cut.bin", 0, std::string(4000, 'c'));
        http.SetResponse(FilesUrl() + "cut.bin", {.body = std::string(4000, 'c'), .cutBodyAfter = 100});
        Add("l.bin", 0x20, std::string(6000, 'l'));
    }
};

TEST_F(TransfersInFlightTest, FailedFetchesAmongOthersInFlightAreListedAndTheOthersQueued) {
    QuorTest::LogCapture log(Quor::Log::DEBUG);
    AddSlowFirst();
    AddMixedWithTwoFailures();
    const auto paths = Paths();
    DownloadManager manager(paths, *server, fileSystem, progress, true, nullptr);
    const auto items = Drain(manager);

    std::vector<std::string> failed;
    for (const auto& path : Failed(manager)) failed.push_back(path.m_RemotePath);
    std::sort(failed.begin(), failed.end());
    EXPECT_EQ((std::vector<std::string>{FilesUrl() + "cut.bin", FilesUrl() + "missing.txt"}), failed);
    EXPECT_TRUE(log.HasError("Failed to download \"" + FilesUrl() + "missing.txt\"."));
    EXPECT_TRUE(log.HasError("Failed to download \"" + FilesUrl() + "cut.bin\"."));
    // Each failing fetch made all its attempts.
    EXPECT_EQ(kAttempts, http.RequestCount(FilesUrl() + "missing.txt"));
    EXPECT_EQ(kAttempts, http.RequestCount(FilesUrl() + "cut.bin"));

    ASSERT_EQ(4u, items.size());
    // Queued as the fetches ended: the slow first file passed by the others.
    EXPECT_EQ(FilesUrl() + "0slow.bin", items.back().m_RemotePath);
    for (const auto& item : items) {
        const std::string bytes = ReadFile(item.m_TemporaryFile->GetPath());
        const std::string name = item.m_RemotePath.substr(FilesUrl().size());
        if (name == "0slow.bin") EXPECT_EQ(std::string(5000, 'S'), bytes);
        else if (name == "a.txt") EXPECT_EQ("first", bytes);
        else if (name == "z.txt") EXPECT_EQ(served[3].zlib, bytes);
        else if (name == "l.bin") EXPECT_EQ(served[5].lzma, bytes);
        else ADD_FAILURE() << "queued " << item.m_RemotePath;
    }
    EXPECT_EQ(S_OK, manager.GetResult());
    EXPECT_LE(2u, http.connectionCount());
    EXPECT_EQ(4u, TemporaryFiles().size());  // the failed fetches left none
}

TEST_F(TransfersInFlightTest, FailedFetchAmongOthersInFlightIsNamedAndTheOthersArePlaced) {
    QuorTest::LogCapture log(Quor::Log::DEBUG);
    AddSlowFirst();
    AddMixedWithTwoFailures();
    Add("m/shared.dat", 0x01, "shared");
    Add("a/t1.bin", 0x06, std::string(2000, '1'));
    const auto files = Files();

    EXPECT_EQ(E_QUOR_DOWNLOAD_AND_EXTRACT_FAILED,
              Quor::User::UpdateAndInstallShared::DownloadFilesStep(files, manifest, *server, fileSystem, progress));

    Quor::User::ManagedFileHelper::Release();
    const QuorTest::TreeSnapshot expected{
        {"alpha/releases/1.0.0.1/deploy/0slow.bin", Md5Hex(std::string(5000, 'S'))},
        {"alpha/releases/1.0.0.1/deploy/a.txt", Md5Hex("first")},
        {"alpha/releases/1.0.0.1/deploy/z.txt", Md5Hex(std::string(3000, 'z'))},
        {"alpha/releases/1.0.0.1/deploy/l.bin", Md5Hex(std::string(6000, 'l'))},
        {"alpha/managedfiles/1.0.0.1/m/shared.dat", Md5Hex("shared")},
        {"alpha/filearchives/1.0.0.1:a/t1.bin", Md5Hex(std::string(2000, '1'))},
    };
    EXPECT_EQ("", QuorTest::SnapshotDifference(expected, QuorTest::TakeSnapshot(Root() + "/projects")));
    EXPECT_TRUE(log.HasError(" * " + FilesUrl() + "missing.txt")) << log.Errors();
    EXPECT_TRUE(log.HasError(" * " + FilesUrl() + "cut.bin")) << log.Errors();
    // The file after the slow one did not wait for its connection.
    EXPECT_NE(ConnectionOf("0slow.bin"), ConnectionOf("a.txt"));
    EXPECT_TRUE(TemporaryFiles().empty());
}

// Files of a wanted bin are cut from one download of it while the others come directly, several at
// once.
TEST_F(TransfersInFlightTest, BinsAndDirectFetchesInFlightPlaceEveryFile) {
    Add("0slow.bin", 0, std::string(5000, 'S'));
    Add("p/one.bin", 0, std::string(3000, '1'));
    Add("p/two.bin", 0x04, std::string(2000, '2'));
    Add("q/direct.txt", 0, "direct");
    Add("q/other.txt", 0x20, std::string(1500, 'o'));
    ServeBins({{"bin0", {"p/one.bin", "p/two.bin"}}});
    const auto files = Files();

    EXPECT_EQ(S_OK, Quor::User::UpdateAndInstallShared::DownloadFilesStep(files, manifest, *server, fileSystem, progress));

    const QuorTest::TreeSnapshot expected{
        {"alpha/releases/1.0.0.1/deploy/0slow.bin", Md5Hex(std::string(5000, 'S'))},
        {"alpha/releases/1.0.0.1/deploy/p/one.bin", Md5Hex(std::string(3000, '1'))},
        {"alpha/releases/1.0.0.1/deploy/p/two.bin", Md5Hex(std::string(2000, '2'))},
        {"alpha/releases/1.0.0.1/deploy/q/direct.txt", Md5Hex("direct")},
        {"alpha/releases/1.0.0.1/deploy/q/other.txt", Md5Hex(std::string(1500, 'o'))},
    };
    EXPECT_EQ("", QuorTest::SnapshotDifference(expected, QuorTest::TakeSnapshot(Root() + "/projects")));
    EXPECT_EQ(1u, http.RequestCount(PackagesUrl() + "bin0"));
    EXPECT_EQ(0u, http.RequestCount(FilesUrl() + "p/one.bin"));
    EXPECT_EQ(1u, http.RequestCount(FilesUrl() + "q/direct.txt"));
    EXPECT_TRUE(TemporaryFiles().empty());
}

// A cancellation while every slot holds a stalled fetch ends all of them into the failure list; the
// files not yet started are in neither list.
TEST_F(TransfersInFlightTest, CancellationEndsTheFetchesInFlightAndStartsNoMore) {
    QuorTest::LogCapture log(Quor::Log::DEBUG);
    for (int i = 0; i < 6; ++i) {
        const std::string name = "f" + std::to_string(i) + ".bin";
        Add(name, 0, std::string(100000, 'c'), false);
        http.SetResponse(FilesUrl() + name, {.body = std::string(100000, 'c'),
                                             .stallAfterBodyBytes = 1000,
                                             .stallInBody = QuorTest::kStallUntilStop});
    }
    const auto paths = Paths();
    DownloadManager manager(paths, *server, fileSystem, progress, true, nullptr);
    ASSERT_TRUE(http.WaitForRequests(kInFlight));
    std::atomic_ref<signed char>(cancel).store(1);
    EXPECT_TRUE(Drain(manager).empty());

    std::vector<std::string> failed;
    for (const auto& path : Failed(manager)) failed.push_back(path.m_RemotePath.substr(FilesUrl().size()));
    std::sort(failed.begin(), failed.end());
    EXPECT_EQ((std::vector<std::string>{"f0.bin", "f1.bin", "f2.bin", "f3.bin"}), failed);
    EXPECT_EQ(E_FAIL, manager.GetResult());
    EXPECT_TRUE(log.HasError("Cancellation detected, aborting")) << log.Errors();
    EXPECT_EQ(0u, http.RequestCount(FilesUrl() + "f4.bin"));
    EXPECT_TRUE(TemporaryFiles().empty());
}

// Destroying the manager while several bodies stall ends every one of them through the stop flag:
// the worker is joined without the time-out message and no temporary file stays.
TEST_F(TransfersInFlightTest, DestroyingTheManagerEndsEveryFetchInFlight) {
    QuorTest::LogCapture log(Quor::Log::DEBUG);
    for (const char* name : {"one.bin", "two.bin", "three.bin"}) {
        Add(name, 0, std::string(100000, 's'), false);
        http.SetResponse(FilesUrl() + name, {.body = std::string(100000, 's'),
                                             .stallAfterBodyBytes = 1000,
                                             .stallInBody = QuorTest::kStallUntilStop});
    }
    Add("tail.bin", 0, "later");
    const auto paths = Paths();
    {
        DownloadManager manager(paths, *server, fileSystem, progress, true, nullptr);
        ASSERT_TRUE(http.WaitForRequests(3));
    }
    EXPECT_FALSE(log.Contains("Thread did not terminate"));
    EXPECT_EQ(1u, http.RequestCount(FilesUrl() + "one.bin"));  // a stopped fetch is not retried
    EXPECT_TRUE(TemporaryFiles().empty());
}

}  // namespace
