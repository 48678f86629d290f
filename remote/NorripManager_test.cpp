#include "remote/NorripManager.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>

#include "common/testing/LogCapture.h"
#include "remote/NorripPackage.h"
#include "remote/RemoteFileServerHTTP.h"
#include "tests/kit/ScriptedHttpServer.h"
#include "tests/kit/TempDir.h"

namespace {

using Quor::User::NorripManager;

TEST(NorripHook, StartTransferAlwaysFailsAndTouchesNothing) {
    QuorTest::QuorTree tree;
    QuorTest::ScriptedHttpServer server;
    HRESULT result = E_FAIL;
    Quor::User::RemoteFileServerHTTP remote(result, server.baseUrl());
    Quor::Common::LocalFileSystem fileSystem;
    Quor::User::NorripPackage package;
    DWORD status = 7;
    EXPECT_EQ(E_FAIL, Quor::User::NorripPackage::StartTransfer(package, remote, fileSystem, "/p/a.bin", status));
    EXPECT_EQ(7u, status);
    EXPECT_FALSE(package.IsReady());
    EXPECT_TRUE(server.requests().empty());
}

TEST(NorripManager, UserSettingSwitchesThePeerToPeerClientOff) {
    QuorTest::QuorTree tree;
    NorripManager manager;
    EXPECT_FALSE(manager.IsP2PDisabled());  // no user.cfg
    struct Case {
        const char* value;
        bool disabled;
    } cases[] = {{"TRUE", true}, {"true", true}, {"false", false}, {"yes", false}, {"", false}};
    for (const Case& c : cases) {
        QuorTest::WriteFile(tree.system() + "/user.cfg", std::string("disableP2P = ") + c.value + "\n");
        EXPECT_EQ(c.disabled, manager.IsP2PDisabled()) << c.value;
    }
}

TEST(NorripManager, ClientNeverStarts) {
    QuorTest::QuorTree tree;
    NorripManager manager;
    QuorTest::LogCapture log;
    EXPECT_EQ(E_FAIL, manager.start());
    EXPECT_TRUE(log.Has(Quor::Log::ERROR, "Starting NRB timed out"));
    EXPECT_EQ(E_FAIL, manager.startNRB());
    EXPECT_EQ(E_FAIL, manager.startNRB());
    EXPECT_TRUE(log.Has("Starting NRB already failed"));
    EXPECT_EQ(S_OK, manager.stop(false));  // not running
    QuorTest::WriteFile(tree.system() + "/user.cfg", "disableP2P = true\n");
    EXPECT_EQ(E_FAIL, manager.start());
    EXPECT_TRUE(log.Has("Norrip disabled"));
}

TEST(NorripManager, LocalDownloadPathStaysInsideTheDownloadsFolder) {
    QuorTest::QuorTree tree;
    NorripManager manager;
    const std::string downloads = tree.root() + "downloads/";
    struct Case {
        const char* remote;
        std::string local;
    } cases[] = {
        {"/projects/p/releases/0.0.0.1/packages/files/a.bin", downloads + "projects/p/releases/0.0.0.1/packages/files/"},
        {"\\quor/x/b.bin", downloads + "quor/x/"},
        {"c.bin", downloads},
        {"/projects/../../etc/passwd", ""},
        {"//abs/c.bin", ""},
        {"/a/./b.bin", ""},
        {"/a//b.bin", ""},
        {"/a\\..\\..\\b.bin", ""},
        {"/a/..", ""},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(c.local, manager.GetLocalDownloadPath(c.remote)) << c.remote;
}

TEST(NorripManager, MarkerFileIsFetchedOnceBesideTheDownload) {
    QuorTest::QuorTree tree;
    QuorTest::ScriptedHttpServer server;
    server.SetResponse("/quor/pk/a.bin.pandurl", {.body = "marker"});
    HRESULT result = E_FAIL;
    Quor::User::RemoteFileServerHTTP remote(result, server.baseUrl());
    Quor::Common::LocalFileSystem fileSystem;
    NorripManager manager;
    std::string local;
    DWORD status = 0;
    ASSERT_EQ(S_OK, manager.startNorripDownload(remote, fileSystem, "/quor/pk/a.bin", local, status));
    EXPECT_EQ(tree.root() + "downloads/quor/pk/", local);
    EXPECT_EQ("marker", QuorTest::ReadFile(local + "a.bin.pandurl"));
    ASSERT_EQ(S_OK, manager.startNorripDownload(remote, fileSystem, "/quor/pk/a.bin", local, status));
    EXPECT_EQ(1u, server.RequestCount("/quor/pk/a.bin.pandurl"));

    // A missing marker on the server leaves no partial file.
    EXPECT_TRUE(FAILED(manager.startNorripDownload(remote, fileSystem, "/quor/pk/b.bin", local, status)));
    EXPECT_FALSE(QuorTest::Exists(tree.root() + "downloads/quor/pk/b.bin.pandurl"));
    // A path that would leave the downloads folder is refused before anything is asked.
    const size_t before = server.requests().size();
    EXPECT_EQ(E_FAIL, manager.startNorripDownload(remote, fileSystem, "/../../x.bin", local, status));
    EXPECT_EQ(before, server.requests().size());
}

// Writes a file last changed `days` ago.
void WriteAged(const std::string& path, int days) {
    QuorTest::WriteFile(path, "x");
    const time_t when = std::time(nullptr) - static_cast<time_t>(days) * 86400 - 60;
    const struct timespec times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(0, utimensat(AT_FDCWD, path.c_str(), times, 0)) << path;
}

TEST(NorripManager, GarbageCollectionEmptiesTheClientFolderAndDropsOldDownloads) {
    QuorTest::QuorTree tree;
    const std::string downloads = tree.root() + "downloads/";
    QuorTest::WriteFile(tree.root() + "norrip/state.dat", "x");
    QuorTest::WriteFile(tree.root() + "norrip/sub/more.dat", "y");
    WriteAged(downloads + "quor/old/a.bin", 17);
    WriteAged(downloads + "quor/recent/b.bin", 3);
    WriteAged(downloads + "c.bin", 0);
    NorripManager manager;
    EXPECT_EQ(S_OK, manager.GarbageCollectNorripFiles());
    EXPECT_FALSE(QuorTest::Exists(tree.root() + "norrip"));
    EXPECT_FALSE(QuorTest::Exists(downloads + "quor/old"));  // emptied folders go too
    EXPECT_TRUE(QuorTest::Exists(downloads + "quor/recent/b.bin"));
    EXPECT_TRUE(QuorTest::Exists(downloads + "c.bin"));

    // The test region keeps downloads for two days only.
    QuorTest::WriteFile(tree.system() + "/system.cfg", "Region = vorn\n");
    EXPECT_EQ(S_OK, manager.GarbageCollectNorripFiles());
    EXPECT_FALSE(QuorTest::Exists(downloads + "quor/recent/b.bin"));
    EXPECT_TRUE(QuorTest::Exists(downloads + "c.bin"));
    EXPECT_TRUE(QuorTest::Exists(downloads));
}

}  // namespace
