#include "install/InstallSteps.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "archive/ManagedFileHelper.h"
#include "common/testing/LogCapture.h"
#include "tests/kit/InstallTreeTest.h"

namespace Quor::User::UpdateAndInstallShared {
namespace {

using Common::ReleaseManifest;
using InstallTesting::V;
using QuorTest::Exists;
using QuorTest::ReadFile;
using QuorTest::WriteFile;

constexpr DWORD kOld = V(1, 0, 0, 1);
constexpr DWORD kNew = V(1, 0, 0, 2);

ReleaseManifest::ENTRY Entry(const std::string& name, DWORD version, DWORD flags, DWORD size = 0,
                             DWORD compressedSize = 0) {
    ReleaseManifest::ENTRY entry;
    entry.name = name;
    entry.version = version;
    entry.flags = flags;
    entry.size = size;
    entry.compressedSize = compressedSize;
    return entry;
}

std::string Download(DWORD bytes) { return "WORK_TYPE_DOWNLOAD, " + std::to_string(bytes); }
std::string Disk(DWORD bytes) { return "WORK_TYPE_DISK_ACCESS, " + std::to_string(bytes); }

using StepTest = InstallTesting::InstallTreeTest;

TEST_F(StepTest, TheDownloadBytesRuleCountsWhatTheFetchedFormCosts) {
    struct Row {
        DWORD flags, size, compressed;
        DWORD download;
        DWORD disk;  // 0: nothing added to disk work
    };
    const Row rows[] = {{0x00, 100, 7, 100, 0},  {0x04, 200, 50, 50, 250}, {0x20, 300, 70, 70, 370},
                        {0x14, 400, 90, 90, 0},  {0x10, 500, 110, 500, 610}, {0x06, 600, 130, 130, 730}};
    for (const Row& row : rows) {
        QuorTest::LogCapture log;
        AddDownloadBytesToTotal(progress, Entry("f", 1, row.flags, row.size, row.compressed));
        EXPECT_TRUE(log.Has(Log::VERBOSE, Download(row.download))) << row.flags << "\n" << log.All();
        EXPECT_EQ(log.Contains("WORK_TYPE_DISK_ACCESS, "), row.disk != 0) << row.flags;
        if (row.disk) {
            EXPECT_TRUE(log.Has(Log::VERBOSE, Disk(row.disk))) << row.flags;
        }
    }
}

class CopyStepTest : public StepTest {
protected:
    CopyStepTest() {
        source.m_ProjectName = "game";
        source.m_ReleaseVersion = kOld;
        WriteFile(Deploy("game", kOld, "a.txt"), "alpha");
        WriteFile(Deploy("game", kOld, "sub/b.txt"), "bravo");
    }
    ReleaseManifest source;
    const ReleaseManifest::ENTRY a = Entry("a.txt", kOld, 0, 5);
    const ReleaseManifest::ENTRY b = Entry("sub/b.txt", kOld, 0, 5);
    const ReleaseManifest::ENTRY packed = Entry("c.bin", kOld, 0x14, 400, 90);
};

TEST_F(CopyStepTest, AFailedCopyJoinsTheDownloadListAndTheRestAreCopied) {
    const std::vector<FileToCopy> files{{&a, Deploy("game", kNew, "a.txt"), &source},
                                        {&packed, Deploy("game", kNew, "c.bin"), &source},
                                        {&b, Deploy("game", kNew, "sub/b.txt"), &source}};
    const ReleaseManifest::ENTRY earlier = Entry("earlier", kNew, 0);
    std::vector<FileToDownload> downloads{{&earlier, "x"}};
    QuorTest::LogCapture log;
    ASSERT_EQ(CopyFilesStep(files, downloads, "game", fileSystem, progress), S_OK);
    EXPECT_EQ(ReadFile(Deploy("game", kNew, "a.txt")), "alpha");
    EXPECT_EQ(ReadFile(Deploy("game", kNew, "sub/b.txt")), "bravo");
    ASSERT_EQ(downloads.size(), 2u);
    EXPECT_EQ(downloads[0].m_Entry, &earlier);
    EXPECT_EQ(downloads[1].m_Entry, &packed);
    EXPECT_EQ(downloads[1].m_LocalPath, Deploy("game", kNew, "c.bin"));
    EXPECT_FALSE(Exists(Deploy("game", kNew, "c.bin"))) << "nothing reaches the disk";
    EXPECT_TRUE(log.Has(Log::VERBOSE, Download(90))) << "the compressed size is to download";
    EXPECT_FALSE(log.Has(Log::VERBOSE, Disk(490))) << "a copy kept compressed is not expanded";
    EXPECT_TRUE(log.HasError(
        "Failed to copy unmanaged file \"c.bin\" from previous install.  Will attempt to download/patch."));
}

TEST_F(CopyStepTest, ACopyOntoItselfIsRefusedAndTheFileKept) {
    const std::vector<FileToCopy> files{{&a, Deploy("game", kOld, "a.txt"), &source}};
    std::vector<FileToDownload> downloads;
    QuorTest::LogCapture log(Log::ERROR);
    ASSERT_EQ(CopyFilesStep(files, downloads, "game", fileSystem, progress), S_OK);
    EXPECT_EQ(ReadFile(Deploy("game", kOld, "a.txt")), "alpha");
    ASSERT_EQ(downloads.size(), 1u);
}

TEST_F(CopyStepTest, ACancellationFlagStopsBeforeTheFirstFile) {
    cancel = 1;
    const std::vector<FileToCopy> files{{&a, Deploy("game", kNew, "a.txt"), &source}};
    std::vector<FileToDownload> downloads;
    QuorTest::LogCapture log;
    EXPECT_EQ(CopyFilesStep(files, downloads, "game", fileSystem, progress), E_ABORT);
    EXPECT_FALSE(Exists(Deploy("game", kNew, "a.txt")));
    EXPECT_TRUE(downloads.empty());
    EXPECT_TRUE(log.HasError("Cancellation request detected, aborting"));
}

class ArchiveStepTest : public StepTest {
protected:
    ~ArchiveStepTest() override { ManagedFileHelper::Release(); }
    bool Archived(const std::string& name, DWORD version = kOld) {
        return ManagedFileHelper::DoesFileOrDirectoryExist("game", version, name);
    }
    // Forgets every cached archive manager (each writes its changes out as it goes), so that the
    // next question reads the pairs on disk.
    void Reread() { ManagedFileHelper::Release(); }
    // The bytes of every file of the pair folder, as written so far.
    std::string PairBytes() const {
        std::string all;
        for (const auto& file : std::filesystem::directory_iterator(root + "/projects/game/filearchives/1.0.0.1"))
            all += file.path().filename().string() + ":" + ReadFile(file.path().string()) + ";";
        return all;
    }

    const ReleaseManifest::ENTRY one = Entry("one.bin", kOld, 0x02, 3);
    const ReleaseManifest::ENTRY two = Entry("two.bin", kOld, 0x02, 3);
    const ReleaseManifest::ENTRY three = Entry("three.bin", kOld, 0x02, 3);
};

TEST_F(ArchiveStepTest, NakedFilesGoIntoTheirArchiveAndAreDeletedAfterAGoodFlush) {
    ASSERT_EQ(ManagedFileHelper::AddFile("game", kOld, "stored.bin", Scratch("s", "abc")), S_OK);
    ASSERT_EQ(ManagedFileHelper::Flush(0), S_OK);
    const ReleaseManifest::ENTRY stored = Entry("stored.bin", kOld, 0x06, 3, 2);
    const std::vector<FileToArchive> files{{&one, Scratch("one", "111")},
                                           {&stored, Scratch("stored", "abc")},
                                           {&two, Scratch("two", "222")}};
    std::vector<FileToDownload> downloads;
    QuorTest::LogCapture log;
    ASSERT_EQ(ArchiveFilesStep(files, downloads, "game", fileSystem, progress), S_OK);
    EXPECT_FALSE(Exists(files[0].m_LocalPath));
    EXPECT_FALSE(Exists(files[2].m_LocalPath));
    ASSERT_EQ(downloads.size(), 1u) << "a file the archive refuses is fetched";
    EXPECT_EQ(downloads[0].m_Entry, &stored);
    EXPECT_EQ(downloads[0].m_LocalPath, files[1].m_LocalPath);
    EXPECT_TRUE(log.Has(Log::VERBOSE, Download(2)));
    EXPECT_TRUE(log.Has(Log::VERBOSE, Disk(5)));
    Reread();
    EXPECT_TRUE(Archived("one.bin"));
    EXPECT_TRUE(Archived("two.bin"));
}

TEST_F(ArchiveStepTest, AFailedFlushKeepsTheNakedFiles) {
    ASSERT_EQ(ManagedFileHelper::AddFile("game", kOld, "held.bin", Scratch("held", "held")), S_OK);
    ASSERT_EQ(ManagedFileHelper::Flush(0), S_OK);
    std::string archivePath;
    uint32_t offset = 0, size = 0, handle = 0;
    ASSERT_EQ(ManagedFileHelper::LockFile("game", kOld, "held.bin", archivePath, offset, size, handle), S_OK);
    const std::vector<FileToArchive> files{{&one, Scratch("one", "111")}, {&two, Scratch("two", "222")}};
    std::vector<FileToDownload> downloads;
    QuorTest::LogCapture log(Log::ERROR);
    EXPECT_TRUE(FAILED(ArchiveFilesStep(files, downloads, "game", fileSystem, progress)));
    EXPECT_TRUE(log.HasError("Failed to write files to archives."));
    EXPECT_TRUE(Exists(files[0].m_LocalPath));
    EXPECT_TRUE(Exists(files[1].m_LocalPath));
    EXPECT_TRUE(downloads.empty());
    EXPECT_EQ(ManagedFileHelper::UnlockFile(handle), S_OK);
}

TEST_F(ArchiveStepTest, TheFirstFailedDeletionEndsTheStep) {
    // Two entries share one naked file: its second deletion fails, the third file stays.
    const std::string shared = Scratch("shared", "111");
    const std::vector<FileToArchive> files{{&one, shared}, {&two, shared}, {&three, Scratch("three", "333")}};
    std::vector<FileToDownload> downloads;
    QuorTest::LogCapture log(Log::ERROR);
    EXPECT_TRUE(FAILED(ArchiveFilesStep(files, downloads, "game", fileSystem, progress)));
    EXPECT_TRUE(log.HasError("Failed to delete source file after adding to archive file: \"" + shared + "\""));
    EXPECT_FALSE(Exists(shared));
    EXPECT_TRUE(Exists(files[2].m_LocalPath));
}

TEST_F(ArchiveStepTest, ACancelledArchiveStepNeitherFlushesNorDeletes) {
    cancel = 1;
    const std::vector<FileToArchive> files{{&one, Scratch("one", "111")}};
    std::vector<FileToDownload> downloads;
    QuorTest::LogCapture log(Log::ERROR);
    EXPECT_EQ(ArchiveFilesStep(files, downloads, "game", fileSystem, progress), E_ABORT);
    EXPECT_TRUE(Exists(files[0].m_LocalPath));
    Reread();
    EXPECT_FALSE(Archived("one.bin"));
}

TEST_F(ArchiveStepTest, TheDeleteStepRemovesBadCopiesAndFlushesOnlyWhenAllWereRemoved) {
    for (const char* name : {"one.bin", "two.bin"})
        ASSERT_EQ(ManagedFileHelper::AddFile("game", kOld, name, Scratch(name, name)), S_OK);
    ASSERT_EQ(ManagedFileHelper::Flush(0), S_OK);
    EXPECT_EQ(DeleteFilesFromArchivesStep({}, "game", progress), S_OK);

    // No archive can be had for this version: its folder is a file.
    WriteFile(root + "/projects/game/filearchives/9.9.9.9", "");
    const ReleaseManifest::ENTRY unreachable = Entry("x.bin", V(9, 9, 9, 9), 0x02);
    const std::string written = PairBytes();
    {
        QuorTest::LogCapture log(Log::ERROR);
        EXPECT_TRUE(FAILED(DeleteFilesFromArchivesStep({{&two}, {&unreachable}}, "game", progress)));
    }
    EXPECT_EQ(PairBytes(), written) << "nothing is written after a failed removal";

    ASSERT_EQ(DeleteFilesFromArchivesStep({{nullptr}, {&one}}, "game", progress), S_OK);
    EXPECT_NE(PairBytes(), written);
    Reread();
    EXPECT_FALSE(Archived("one.bin"));
    EXPECT_FALSE(Archived("two.bin"));
}

class RunMeStepTest : public StepTest {
protected:
    RunMeStepTest() {
        unsetenv("vorn_launched");
        manifest.m_ProjectName = "game";
        manifest.m_ReleaseVersion = kNew;
    }
    // A script that appends its tag and the launch marker to the marker file.
    std::string Script(const std::string& tag) const {
        return "#!/bin/sh\necho \"" + tag + " $vorn_launched\" >> '" + marker + "'\n";
    }
    void Add(const std::string& name, DWORD version, DWORD flags) {
        const unsigned char md5[16] = {};
        ASSERT_EQ(manifest.Add(name, version, md5, flags, 1, 1), S_OK);
    }
    std::string Marker() const { return Exists(marker) ? ReadFile(marker) : ""; }

    ReleaseManifest manifest;
    std::string marker = root + "/marker.txt";
};

TEST_F(RunMeStepTest, RunMeProgramsRunInManifestOrderWithTheLaunchMarker) {
    WriteFile(Managed("game", kOld, "m/first.sh"), Script("first"));
    WriteFile(Deploy("game", kNew, "setup/second.sh"), Script("second"));
    WriteFile(Deploy("game", kNew, "zz/plain.sh"), Script("never"));
    Add("m/first.sh", kOld, 0x08 | 0x01 | 0x02);
    Add("setup/second.sh", kNew, 0x08);
    Add("absent.sh", kNew, 0x08);
    Add("zz/plain.sh", kNew, 0);
    QuorTest::LogCapture log(Log::ERROR);
    ASSERT_EQ(ExecuteRunMeFilesStep(manifest, progress), S_OK);
    EXPECT_EQ(Marker(), "first true\nsecond true\n");
    EXPECT_TRUE(log.HasError("CreateProcess failed."));
}

TEST_F(RunMeStepTest, AnArchivedRunMeEntryEndsTheStep) {
    WriteFile(Deploy("game", kNew, "b.sh"), Script("after"));
    Add("a.sh", kNew, 0x08 | 0x02);
    Add("b.sh", kNew, 0x08);
    QuorTest::LogCapture log(Log::ERROR);
    EXPECT_EQ(ExecuteRunMeFilesStep(manifest, progress), E_FAIL);
    EXPECT_TRUE(log.HasError("File \"a.sh\" is marked as run-me-once, but is in an archive"));
    EXPECT_EQ(Marker(), "");
}

TEST_F(RunMeStepTest, AManifestWhoseProjectNameLeavesTheTreeStartsNothing) {
    WriteFile(root + "/outside/releases/1.0.0.2/deploy/a.sh", Script("outside"));
    manifest.m_ProjectName = "../outside";
    Add("a.sh", kNew, 0x08);
    QuorTest::LogCapture log(Log::USER);
    EXPECT_TRUE(FAILED(ExecuteRunMeFilesStep(manifest, progress)));
    EXPECT_EQ(Marker(), "");
}

TEST_F(RunMeStepTest, ACancellationFlagStartsNothing) {
    WriteFile(Deploy("game", kNew, "a.sh"), Script("a"));
    Add("a.sh", kNew, 0x08);
    cancel = 1;
    QuorTest::LogCapture log(Log::ERROR);
    EXPECT_EQ(ExecuteRunMeFilesStep(manifest, progress), E_ABORT);
    EXPECT_EQ(Marker(), "");
}

}  // namespace
}  // namespace Quor::User::UpdateAndInstallShared
