// File locks taken through the kernel belong to the connection that took them: the request
// server with the engine's own archive locks, over raw loopback clients, on an install tree with
// one archived file.
#include <gtest/gtest.h>

#include <set>

#include "archive/ManagedFileHelper.h"
#include "common/LocalRootFolder.h"
#include "common/ReleaseManifest.h"
#include "common/testing/LogCapture.h"
#include "kernel/ConnectionLocks.h"
#include "kernel/testing/KernelClient.h"
#include "kernel/testing/ScriptedEngine.h"
#include "kernel/testing/TestKernel.h"
#include "tests/kit/TempDir.h"

namespace {

using namespace Quor::OrvaneProtocol;
using QuorTest::KernelClient;
using QuorTest::RecordedCall;

constexpr DWORD kRelease = 0x01000005;  // 1.0.0.5
constexpr DWORD kStored = 0x01000003;   // the release that stored the archived file
constexpr DWORD kNoHandle = 0xFFFFFFFF;

class ConnectionFileLocks : public ::testing::Test {
protected:
    void SetUp() override {
        QuorTest::UseOwnInstance();
        QuorTest::WriteFile(tree.system() + "/system.cfg",
                            "DownloadURL = 127.0.0.1:1\nDownloadPath = /quor\n");
        const std::string root = Quor::Common::LocalRootFolder::Get();
        Quor::Common::ReleaseManifest manifest;
        manifest.m_ProjectName = "game";
        manifest.m_ReleaseVersion = kRelease;
        const unsigned char md5[16] = {};
        ASSERT_EQ(S_OK, manifest.Add("Data/Archived.bin", kStored, md5, 0x02, 8, 0));
        ASSERT_EQ(S_OK, manifest.Add("Data/Managed.txt", kStored, md5, 0x01, 7, 0));
        QuorTest::MakeDirs(root + "/projects/game/releases/1.0.0.5");
        ASSERT_EQ(S_OK, manifest.Save(root + "/projects/game/releases/1.0.0.5/releasemanifest"));
        QuorTest::WriteFile(root + "/src/archived", "archived");
        ASSERT_EQ(S_OK, Quor::User::ManagedFileHelper::AddFile("game", kStored, "Data/Archived.bin",
                                                               root + "/src/archived"));
        ASSERT_EQ(S_OK, Quor::User::ManagedFileHelper::Flush(0));
        kernel = std::make_unique<QuorTest::TestKernel>(QuorTest::TestKernel::Handlers(engine));
        ASSERT_EQ(S_OK, kernel->hr);
    }
    static RecordedCall Ask(KernelClient& client, const std::function<void(IAppToOrvane&)>& request) {
        EXPECT_TRUE(client.Request(request));
        auto answer = client.Answer();
        EXPECT_TRUE(answer.has_value()) << "no answer";
        return answer.value_or(RecordedCall());
    }
    static RecordedCall Lock(KernelClient& client, const std::string& path = "Data/Archived.bin") {
        return Ask(client, [&](IAppToOrvane& s) { s.LockFileRequest(0, 1, "game", kRelease, path); });
    }
    static HRESULT Unlock(KernelClient& client, DWORD handle) {
        return Ask(client, [&](IAppToOrvane& s) { s.UnlockFileRequest(0, 2, handle); }).hr;
    }
    static DWORD HandleOf(const RecordedCall& answer) {
        return answer.words.size() == 3 ? answer.words[2] : 0;
    }

    QuorTest::QuorTree tree;
    std::shared_ptr<QuorTest::ScriptedEngine> engine = std::make_shared<QuorTest::ScriptedEngine>();
    std::unique_ptr<QuorTest::TestKernel> kernel;
};

TEST_F(ConnectionFileLocks, ClosingTheConnectionReleasesItsLocksSoTheArchiveCanBeRewritten) {
    std::set<DWORD> handles;
    {  // the reader goes away without unlocking
        KernelClient reader(kernel->port);
        for (int lock = 0; lock < 2; ++lock) {
            const RecordedCall answer = Lock(reader);
            ASSERT_EQ(S_OK, answer.hr);
            ASSERT_NE(kNoHandle, HandleOf(answer));
            handles.insert(HandleOf(answer));
        }
        const RecordedCall managed = Lock(reader, "Data/Managed.txt");
        EXPECT_EQ(S_OK, managed.hr);
        EXPECT_EQ(kNoHandle, HandleOf(managed));  // no lock, nothing to release
    }
    ASSERT_EQ(2u, handles.size());
    for (const DWORD handle : handles)
        ASSERT_TRUE(engine->WaitCall("UnlockFile " + std::to_string(handle)))
            << "lock " << handle << " of the closed connection was never released";

    // Nothing holds the archive any more: it can be rewritten.
    QuorTest::LogCapture log(Quor::Log::ERROR);
    EXPECT_EQ(S_OK, Quor::User::ManagedFileHelper::RemoveFile("game", kStored, "Data/Archived.bin"));
    EXPECT_EQ(S_OK, Quor::User::ManagedFileHelper::Flush(0));
    EXPECT_FALSE(log.Contains("still locked")) << log.All();
}

TEST_F(ConnectionFileLocks, OnlyTheConnectionThatLockedMayUnlock) {
    KernelClient owner(kernel->port);
    KernelClient other(kernel->port);
    const DWORD handle = HandleOf(Lock(owner));
    ASSERT_NE(kNoHandle, handle);

    EXPECT_EQ(E_FAIL, Unlock(other, handle)) << "another connection gave the lock back";
    EXPECT_EQ(S_OK, Unlock(other, kNoHandle)) << "\"no handle\" is given back by anybody";
    EXPECT_EQ(S_OK, Unlock(owner, handle)) << "the lock was lost to the other connection's attempt";
    EXPECT_EQ(E_FAIL, Unlock(owner, handle)) << "a lock given back twice";
    EXPECT_EQ((std::vector<std::string>{"UnlockFile " + std::to_string(kNoHandle),
                                        "UnlockFile " + std::to_string(handle)}),
              engine->Calls());
}

TEST_F(ConnectionFileLocks, OneConnectionHoldsAtMostTheCapOfHandles) {
    KernelClient greedy(kernel->port);
    std::vector<DWORD> handles;
    for (size_t lock = 0; lock < Quor::Orvane::ConnectionLocks::kMaxPerConnection; ++lock) {
        const RecordedCall answer = Lock(greedy);
        ASSERT_EQ(S_OK, answer.hr) << "lock " << lock;
        handles.push_back(HandleOf(answer));
    }
    QuorTest::LogCapture log(Quor::Log::ERROR);
    const RecordedCall refused = Lock(greedy);
    EXPECT_EQ(RecordedCall("LockFileResponse", 0, 1).Result(E_FAIL).Text("").Word(0).Word(0).Word(kNoHandle),
              refused);
    EXPECT_TRUE(log.Contains("holds 4096 file locks already")) << log.All();

    // Another connection is not limited by it; one lock given back makes room for one.
    KernelClient other(kernel->port);
    EXPECT_EQ(S_OK, Lock(other).hr);
    ASSERT_EQ(S_OK, Unlock(greedy, handles.back()));
    EXPECT_EQ(S_OK, Lock(greedy).hr);
    EXPECT_EQ(E_FAIL, Lock(greedy).hr);
}

TEST_F(ConnectionFileLocks, OtherSpellingsOfAPathFindTheirEntryWhatCouldLeaveTheTreeIsRefused) {
    KernelClient reader(kernel->port);
    const std::string root = Quor::Common::LocalRootFolder::Get();
    const std::string managed = root + "/projects/game/managedfiles/1.0.0.3/Data/Managed.txt";
    struct Case {
        std::string path;
        HRESULT hr;
        std::string file;  // "archive": the archive's data file, with a handle
    };
    const Case cases[] = {
        {"Data/Archived.bin", S_OK, "archive"},
        {"Data\\Archived.bin", S_OK, "archive"},
        {"Data//Archived.bin", S_OK, "archive"},
        {"data\\\\/archived.BIN", S_OK, "archive"},
        {"Data\\Managed.txt", S_OK, managed},
        {"Data//Managed.txt", S_OK, managed},
        {"Data\\Missing.txt", S_OK, "Data\\Missing.txt"},  // not listed: the caller's text as given
        {"/Data/Archived.bin", E_FAIL, ""},
        {"\\Data\\Archived.bin", E_FAIL, ""},
        {"//Data/Archived.bin", E_FAIL, ""},
        {"Data/../Data/Archived.bin", E_FAIL, ""},
        {"Data\\..\\..\\..\\etc\\passwd", E_FAIL, ""},
        {"..//etc/passwd", E_FAIL, ""},
        {"", E_FAIL, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("path \"" + c.path + "\"");
        const RecordedCall answer = Lock(reader, c.path);
        EXPECT_EQ(c.hr, answer.hr);
        if (answer.hr != c.hr || answer.texts.size() != 1) continue;
        if (c.file == "archive") {
            EXPECT_EQ(0u, answer.texts[0].rfind(root + "/projects/game/filearchives/1.0.0.3\\", 0)) << answer.texts[0];
            ASSERT_NE(kNoHandle, HandleOf(answer));
            EXPECT_EQ(S_OK, Unlock(reader, HandleOf(answer)));
        } else {
            EXPECT_EQ(c.file, answer.texts[0]);
            EXPECT_EQ(kNoHandle, HandleOf(answer));
        }
    }
}

}  // namespace
