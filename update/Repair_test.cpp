#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "archive/ManagedFileHelper.h"
#include "common/testing/LogCapture.h"
#include "install/InstallProjectRelease.h"
#include "install/InstallSolutionRelease.h"
#include "install/InstalledState.h"
#include "tests/kit/content/FakeRemoteFileServer.h"
#include "tests/kit/content/InstalledTree.h"
#include "tests/kit/content/SuiteContent.h"
#include "tests/kit/content/TreeSnapshot.h"
#include "tests/kit/RecordingCollector.h"
#include "remote/TelvoLogger.h"
#include "tools/contenttree/ContentTreeBuilder.h"
#include "update/RepairDiscover.h"
#include "update/RepairExecute.h"

namespace Quor::User::Repair {
namespace {

using InstallTesting::V;
constexpr DWORD kProject = V(1, 0, 0, 1);
constexpr DWORD kSuite = V(2, 0, 0, 1);

// Sets the cancellation flag when the n-th report naming `item` arrives.
class CancelAt final : public API::IUpdateProgress {
public:
    CancelAt(signed char& cancel, std::string item, int n) : m_Cancel(cancel), m_Item(std::move(item)), m_Left(n) {}
    void UpdateProgress(const API::Progress& progress) override {
        if (progress.m_CurrentItem == m_Item && --m_Left == 0) m_Cancel = 1;
    }

private:
    signed char& m_Cancel;
    const std::string m_Item;
    int m_Left;
};

// A clock that moves on at every reading, so that every tick reaches the sink.
class SteppingClock final : public IProgressClock {
public:
    DWORD NowMs() override { return m_Now += 1000; }

private:
    DWORD m_Now = 0;
};

// Solution "suite" 2.0.0.1 installed in "en_US", alpha and beta both with a managed m/x.dat of the
// same version but other contents.
class RepairTest : public InstallTesting::InstallTreeTest {
protected:
    void SetUp() override {
        RegisterInstalledStateServices();
        const InstallTesting::SuiteReleases releases = InstallTesting::AddSuiteContent(description, kProject, kSuite);
        releases.alpha->AddFile("m/x.dat", 0x01, "alpha's x");
        releases.beta->AddFile("m/x.dat", 0x01, "beta's x");
        std::string error;
        ASSERT_TRUE(Tools::ContentTree::BuildContentTree(description, content.path(), error)) << error;
    }

    void TearDown() override { TelvoLogger::Shutdown(); }

    void InstallAlpha() {
        QuorTest::LogCapture log(Log::ERROR);
        const InstallProjectRelease::InputParameters input{"alpha", kProject, fileSystem, server, progress};
        const InstallProjectRelease::Discover discover(input);
        const InstallProjectRelease::Execute execute(discover);
        ASSERT_EQ(execute.m_hr, S_OK) << log.Errors();
        ManagedFileHelper::Release();
    }
    void InstallSuite(bool plant = true) {
        QuorTest::LogCapture log(Log::ERROR);
        const InstallSolutionRelease::InputParameters input{"suite", kSuite, "en_US", fileSystem, server, progress};
        const InstallSolutionRelease::Discover discover(input);
        const InstallSolutionRelease::Execute execute(discover);
        ASSERT_EQ(execute.m_hr, S_OK) << log.Errors();
        ManagedFileHelper::Release();
        if (!plant) return;
        // What this platform's system folder holds beside the kernel.
        for (const char* name : {"system/jdiff", "system/jpatch", "system/libMondrel.so", "system/system.cfg",
                                 "system/Orvane.app/Contents/MacOS/Orvane", "system/temp/TMPabc",
                                 "system/quor_orvane.log", "notes.txt", "projects/alpha/debug.log.1"})
            QuorTest::WriteFile(root + "/" + name, name);
    }
    HRESULT Repair(unsigned hashThreads = Execute::kDefaultHashThreads, AutoUpdateProgress* reporting = nullptr) {
        const InputParameters input{0, fileSystem, server, reporting ? *reporting : progress};
        Discover discover(input);
        const Execute execute(discover, hashThreads);
        ManagedFileHelper::Release();
        return execute.m_hr;
    }
    QuorTest::TreeSnapshot Actual() const { return InstallTesting::InstalledSnapshot(root); }
    std::string Alpha() const { return root + "/projects/alpha/releases/1.0.0.1"; }
    std::string Beta() const { return root + "/projects/beta/releases/1.0.0.1"; }
    std::string Suite() const { return root + "/solutions/suite/releases/2.0.0.1"; }
    bool Exists(const std::string& relative) const { return QuorTest::Exists(root + "/" + relative); }

    Tools::ContentTree::ContentDescription description;
    QuorTest::TempDir content{"quorserver"};
    QuorTest::FakeRemoteFileServer server{content.path(), "/quor", "xx"};
};

TEST_F(RepairTest, AHealthyTreeKeepsEveryFileAndEveryMark) {
    InstallSuite();
    const QuorTest::TreeSnapshot before = Actual();
    const std::string cwd = Cwd();
    QuorTest::LogCapture log(Log::DEBUG);
    ASSERT_EQ(Repair(), S_OK) << log.Errors();
    EXPECT_EQ(QuorTest::SnapshotDifference(before, Actual()), "");
    for (const std::string& ok : {Alpha(), Beta(), Suite()}) EXPECT_TRUE(QuorTest::Exists(ok + "/S_OK")) << ok;
    for (const char* kept : {"system/jdiff", "system/jpatch", "system/libMondrel.so", "system/system.cfg",
                             "system/Orvane.app/Contents/MacOS/Orvane", "system/temp/TMPabc", "system/quor_orvane.log",
                             "notes.txt", "projects/alpha/debug.log.1"})
        EXPECT_TRUE(Exists(kept)) << kept;
    EXPECT_TRUE(log.Has("Validated managed file with MD5 check: \"projects/beta/managedfiles/1.0.0.1/m/x.dat\""));
    EXPECT_TRUE(log.Has("Validated project deploy file with MD5 check: \"projects/alpha/releases/1.0.0.1/deploy/c/packed.bin\""));
    EXPECT_TRUE(log.Has("Validated solution deploy file with MD5 check: \"solutions/suite/releases/2.0.0.1/deploy/data/z.txt\""));
    EXPECT_TRUE(log.Has("Successfully processed file archives"));
    EXPECT_TRUE(log.Has("Succeeded"));
    EXPECT_EQ(Cwd(), cwd);
}

TEST_F(RepairTest, TheRootAloneSucceeds) {
    QuorTest::LogCapture log(Log::DEBUG);
    EXPECT_EQ(Repair(), S_OK) << log.Errors();
    EXPECT_TRUE(log.Has("Succeeded"));
}

// S5: a damaged tree is repaired, then installing its releases again fetches only what was lost.
TEST_F(RepairTest, ForeignAndDamagedFilesGoAndIncompleteReleasesLoseTheirMark) {
    QuorTest::RecordingCollector collector;
    InstallSuite();
    QuorTest::WriteFile(root + "/system/system.cfg", "Region = VORN\nTelvoTestCollector = " + collector.baseUrl() +
                                                         "\nTelvoCollector = " + collector.baseUrl() + "\n");
    const QuorTest::TreeSnapshot clean = Actual();
    ASSERT_EQ(fileSystem.DeleteFile(root + "/projects/alpha/managedfiles/1.0.0.1/m/shared.dat"), S_OK);
    QuorTest::WriteFile(Alpha() + "/deploy/bin/run.sh", "#!/bin/sh\nrm -rf /\n");
    QuorTest::WriteFile(Alpha() + "/deploy/junk.txt", "junk");
    QuorTest::WriteFile(root + "/projects/alpha/junk/file", "junk");
    QuorTest::WriteFile(root + "/projects/alpha/releases/1.2.x/deploy/file", "junk");
    QuorTest::WriteFile(root + "/system/stray.txt", "stray");
    {
        std::shared_ptr<FileSystem::IManager> manager;
        ASSERT_EQ(ManagedFileHelper::GetFileSystemManager("alpha", kProject, manager), S_OK);
        std::string archive;
        uint32_t offset = 0, size = 0;
        ASSERT_TRUE(manager->Find("a/t2.bin", archive, offset, size));
        std::fstream data(manager->GetRootDirectory() + "/" + archive, std::ios::in | std::ios::out | std::ios::binary);
        data.seekp(offset);
        data.write("X", 1);
        ManagedFileHelper::Release();
    }
    QuorTest::LogCapture log(Log::DEBUG);
    ASSERT_EQ(Repair(), S_OK) << log.Errors();
    for (const char* gone : {"projects/alpha/releases/1.0.0.1/deploy/bin/run.sh", "projects/alpha/releases/1.0.0.1/deploy/junk.txt",
                             "projects/alpha/junk", "projects/alpha/releases/1.2.x", "system/stray.txt",
                             "projects/alpha/releases/1.0.0.1/S_OK", "solutions/suite/releases/2.0.0.1/S_OK"})
        EXPECT_FALSE(Exists(gone)) << gone;
    EXPECT_TRUE(QuorTest::Exists(Beta() + "/S_OK"));
    EXPECT_TRUE(Exists("system/jdiff"));
    EXPECT_TRUE(Exists("notes.txt"));
    EXPECT_TRUE(Exists("projects/alpha/debug.log.1"));
    EXPECT_TRUE(log.Has("MD5 mismatch.  File will be deleted from file archive: \"a/t2.bin\""));
    EXPECT_TRUE(log.Has("Invalid version fomrat.  Directory tree will be deleted: \"projects/alpha/releases/1.2.x\""));
    std::shared_ptr<FileSystem::IManager> manager;
    ASSERT_EQ(ManagedFileHelper::GetFileSystemManager("alpha", kProject, manager), S_OK);
    std::vector<std::string> stored;
    manager->GetContents(stored);
    EXPECT_EQ(stored, (std::vector<std::string>{"a/t1.bin"}));
    manager.reset();
    ManagedFileHelper::Release();
    ASSERT_TRUE(collector.WaitForMessages(1));
    EXPECT_NE(collector.messages()[0].body.find("quor_patch_repair_request"), std::string::npos);

    server.ClearRecords();
    InstallAlpha();
    InstallSuite(false);
    std::vector<std::string> fetched;
    for (const std::string& request : server.RequestLog())
        if (request.find("/files/") != std::string::npos && request.find("/packages/") == std::string::npos)
            fetched.push_back(request.substr(request.find("/files/") + 7));
    std::sort(fetched.begin(), fetched.end());
    EXPECT_EQ(fetched, (std::vector<std::string>{"a/t2.bin", "bin/run.sh", "m/shared.dat"}));
    EXPECT_EQ(QuorTest::SnapshotDifference(clean, Actual()), "");
    for (const std::string& ok : {Alpha(), Beta(), Suite()}) EXPECT_TRUE(QuorTest::Exists(ok + "/S_OK")) << ok;
}

// A pair whose data file was cut short: the file whose bytes are all there stays and is checked,
// the cut one is dropped, the release loses its mark, and installing it again fetches the cut file
// alone into the same pair: never two pairs claiming one path.
TEST_F(RepairTest, APairWithAShortDataFileKeepsItsWholeFilesAndTheReinstallFetchesTheRest) {
    InstallSuite();
    const QuorTest::TreeSnapshot clean = Actual();
    const std::string archives = root + "/projects/alpha/filearchives/1.0.0.1";
    const auto indexes = [&] {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(archives))
            if (entry.path().extension() == ".zef") names.push_back(entry.path().filename().string());
        return names;
    };
    ASSERT_EQ(indexes().size(), 1u);
    std::string whole, cut;
    {
        std::shared_ptr<FileSystem::IManager> manager;
        ASSERT_EQ(ManagedFileHelper::GetFileSystemManager("alpha", kProject, manager), S_OK);
        std::string archive;
        uint32_t first = 0, second = 0, firstSize = 0, secondSize = 0;
        ASSERT_TRUE(manager->Find("a/t1.bin", archive, first, firstSize));
        ASSERT_TRUE(manager->Find("a/t2.bin", archive, second, secondSize));
        whole = first < second ? "a/t1.bin" : "a/t2.bin";
        cut = first < second ? "a/t2.bin" : "a/t1.bin";
        const uint32_t end = std::max(first + firstSize, second + secondSize);
        ASSERT_EQ(::truncate((manager->GetRootDirectory() + "/" + archive).c_str(), end - 1), 0);
        ManagedFileHelper::Release();
    }
    {
        QuorTest::LogCapture log(Log::DEBUG);
        ASSERT_EQ(Repair(), S_OK) << log.Errors();
        EXPECT_TRUE(log.Has("Validated managed filearchives file with MD5 check: \"projects/alpha/filearchives/1.0.0.1/" +
                            whole + "\""));
    }
    EXPECT_FALSE(QuorTest::Exists(Alpha() + "/S_OK"));
    EXPECT_FALSE(QuorTest::Exists(Suite() + "/S_OK"));
    EXPECT_TRUE(QuorTest::Exists(Beta() + "/S_OK"));
    EXPECT_EQ(indexes().size(), 1u);
    {
        std::shared_ptr<FileSystem::IManager> manager;
        ASSERT_EQ(ManagedFileHelper::GetFileSystemManager("alpha", kProject, manager), S_OK);
        std::vector<std::string> stored;
        manager->GetContents(stored);
        EXPECT_EQ(stored, std::vector<std::string>{whole});
        ManagedFileHelper::Release();
    }

    server.ClearRecords();
    InstallAlpha();
    InstallSuite(false);
    std::vector<std::string> fetched;
    for (const std::string& request : server.RequestLog())
        if (request.find("/files/") != std::string::npos && request.find("/packages/") == std::string::npos)
            fetched.push_back(request.substr(request.find("/files/") + 7));
    for (std::string& name : fetched)  // the form fetched does not matter here
        if (name.ends_with(".compressed")) name.resize(name.size() - std::string(".compressed").size());
    EXPECT_EQ(fetched, std::vector<std::string>{cut});
    EXPECT_EQ(indexes().size(), 1u);
    EXPECT_EQ(QuorTest::SnapshotDifference(clean, Actual()), "");
    for (const std::string& ok : {Alpha(), Beta(), Suite()}) EXPECT_TRUE(QuorTest::Exists(ok + "/S_OK")) << ok;
}

// Files hashed ahead by workers leave the walk as it is with one thread: the same log lines of the
// judging thread in the same order, the same files deleted, the same marks withdrawn.
TEST_F(RepairTest, HashingAheadChangesNeitherTheWalkNorItsResult) {
    const auto damage = [&] {
        QuorTest::WriteFile(Alpha() + "/deploy/bin/run.sh", "#!/bin/sh\nchanged\n");
        QuorTest::WriteFile(Alpha() + "/deploy/junk.txt", "junk");
        QuorTest::WriteFile(root + "/projects/beta/managedfiles/1.0.0.1/m/x.dat", "not beta's x");
    };
    InstallSuite();
    QuorTest::WriteFile(root + "/system/system.cfg", "");  // read once per process: no line about it
    std::string lines[2];
    QuorTest::TreeSnapshot after[2];
    const unsigned threads[2] = {1, 4};
    for (int run = 0; run < 2; ++run) {
        if (run) {
            InstallAlpha();
            InstallSuite(false);
        }
        damage();
        TelvoLogger::Shutdown();  // each run starts its telemetry afresh
        SteppingClock clock;  // the progress lines show elapsed times
        AutoUpdateProgress reporting(nullptr, &cancel, 0, clock);
        QuorTest::LogCapture log(Log::VERBOSE);
        ASSERT_EQ(Repair(threads[run], &reporting), S_OK) << log.Errors();
        // The judging thread's lines, without the pool's own (they name workers and addresses).
        lines[run] = log.AllOf(std::this_thread::get_id(), "ThreadPool");
        after[run] = Actual();
    }
    EXPECT_NE(lines[0].find("MD5 mismatch for project deploy file.  File will be deleted: \"bin/run.sh\""), std::string::npos);
    EXPECT_NE(lines[0].find("MD5 mismatch for managed file.  File will be deleted: \"m/x.dat\""), std::string::npos);
    EXPECT_EQ(lines[1], lines[0]);
    EXPECT_EQ(QuorTest::SnapshotDifference(after[0], after[1]), "");
    EXPECT_FALSE(QuorTest::Exists(Alpha() + "/S_OK"));
    EXPECT_FALSE(QuorTest::Exists(Beta() + "/S_OK"));
}

TEST_F(RepairTest, StrayCaseCopiesGoAndALostSolutionFileWithdrawsTheSolution) {
    InstallSuite();
    QuorTest::WriteFile(Alpha() + "/deploy/bin/RUN.sh", "#!/bin/sh\n");
    ASSERT_EQ(fileSystem.DeleteFile(Suite() + "/deploy/beta/only.txt"), S_OK);
    QuorTest::LogCapture log(Log::DEBUG);
    ASSERT_EQ(Repair(), S_OK) << log.Errors();
    EXPECT_FALSE(QuorTest::Exists(Alpha() + "/deploy/bin/RUN.sh"));
    EXPECT_TRUE(QuorTest::Exists(Alpha() + "/deploy/bin/run.sh"));
    EXPECT_TRUE(QuorTest::Exists(Alpha() + "/S_OK"));
    EXPECT_TRUE(QuorTest::Exists(Beta() + "/S_OK"));
    EXPECT_FALSE(QuorTest::Exists(Suite() + "/S_OK"));
}

// A listed file replaced by a link to an endless device or by a pipe is deleted unread.
TEST_F(RepairTest, ListedFilesThatAreNotRegularFilesAreDeletedUnread) {
    InstallSuite();
    ASSERT_EQ(fileSystem.DeleteFile(Alpha() + "/deploy/data/l.bin"), S_OK);
    ASSERT_EQ(::symlink("/dev/zero", (Alpha() + "/deploy/data/l.bin").c_str()), 0);
    ASSERT_EQ(fileSystem.DeleteFile(Beta() + "/deploy/beta/only.txt"), S_OK);
    ASSERT_EQ(::mkfifo((Beta() + "/deploy/beta/only.txt").c_str(), 0644), 0);
    QuorTest::LogCapture log(Log::DEBUG);
    ASSERT_EQ(Repair(), S_OK) << log.Errors();
    struct stat status {};
    EXPECT_NE(::lstat((Alpha() + "/deploy/data/l.bin").c_str(), &status), 0);
    EXPECT_NE(::lstat((Beta() + "/deploy/beta/only.txt").c_str(), &status), 0);
    EXPECT_FALSE(QuorTest::Exists(Alpha() + "/S_OK"));
    EXPECT_FALSE(QuorTest::Exists(Beta() + "/S_OK"));
}

TEST_F(RepairTest, AReleaseWhoseManifestIsLostLosesItsMark) {
    InstallSuite();
    QuorTest::WriteFile(Alpha() + "/releasemanifest", "not a manifest");
    QuorTest::LogCapture log(Log::DEBUG);
    ASSERT_EQ(Repair(), S_OK) << log.Errors();
    EXPECT_FALSE(QuorTest::Exists(Alpha() + "/S_OK"));
    EXPECT_FALSE(QuorTest::Exists(Alpha() + "/deploy"));
    EXPECT_TRUE(QuorTest::Exists(Beta() + "/S_OK"));
}

// Archives that cannot be opened go as a whole, with every mark that relied on them, and no
// manager keeps pairs of the deleted folder.
TEST_F(RepairTest, ArchivesThatCannotBeOpenedAreDeleted) {
    InstallSuite();
    const std::string archives = root + "/projects/alpha/filearchives/1.0.0.1";
    // An index that cannot be read at all (over 4 GiB, sparse) fails the folder's load.
    QuorTest::WriteFile(archives + "/Huge.zef", "");
    std::filesystem::resize_file(archives + "/Huge.zef", 5ull << 30);
    QuorTest::LogCapture log(Log::DEBUG);
    {
        const InputParameters input{0, fileSystem, server, progress};
        Discover discover(input);
        const Execute execute(discover);
        EXPECT_EQ(execute.m_hr, S_OK) << log.Errors();
    }
    EXPECT_TRUE(log.Has("Failed to get file system manager"));
    EXPECT_FALSE(QuorTest::Exists(archives));
    EXPECT_FALSE(QuorTest::Exists(Alpha() + "/S_OK"));
    EXPECT_FALSE(QuorTest::Exists(Suite() + "/S_OK"));
    EXPECT_TRUE(QuorTest::Exists(Beta() + "/S_OK"));
    EXPECT_FALSE(ManagedFileHelper::DoesFileOrDirectoryExist("alpha", kProject, "a/t1.bin"));
    ManagedFileHelper::Release();
}

TEST_F(RepairTest, ACancelDuringDiscoveryOrTheWalkDeletesNothing) {
    InstallSuite();
    QuorTest::WriteFile(Alpha() + "/deploy/junk.txt", "junk");
    QuorTest::WriteFile(root + "/system/stray.txt", "stray");
    const QuorTest::TreeSnapshot before = Actual();
    // junk.txt is named by discovery, then by the size pass, then by the walk.
    for (int at : {1, 2, 3}) {
        cancel = 0;
        CancelAt sink(cancel, "junk.txt", at);
        SteppingClock clock;
        AutoUpdateProgress reporting(&sink, &cancel, 0, clock);
        const InputParameters input{0, fileSystem, server, reporting};
        Discover discover(input);
        const Execute execute(discover);
        ManagedFileHelper::Release();
        EXPECT_EQ(execute.m_hr, E_ABORT) << at;
        EXPECT_EQ(QuorTest::SnapshotDifference(before, Actual()), "") << at;
        EXPECT_TRUE(QuorTest::Exists(root + "/system/stray.txt"));
        EXPECT_TRUE(QuorTest::Exists(Alpha() + "/S_OK"));
    }
}

}  // namespace
}  // namespace Quor::User::Repair
