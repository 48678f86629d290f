#include "install/UpdateAndInstallShared.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "archive/ManagedFileHelper.h"
#include "common/testing/LogCapture.h"
#include "tests/kit/InstallTreeTest.h"
#include "tests/kit/TestData.h"

namespace Quor::User::UpdateAndInstallShared {
namespace {

using Common::ReleaseManifest;
using InstallTesting::V;
using QuorTest::Exists;
using QuorTest::ReadFile;
using QuorTest::WriteFile;

constexpr DWORD kRelease = V(1, 0, 0, 1);
const std::string kPlain = QuorTest::TextBytes(4000, 7);

class FileCheckTest : public InstallTesting::InstallTreeTest {
protected:
    ReleaseManifest::ENTRY Entry(const std::string& name, DWORD flags, const std::string& plain = kPlain) {
        return InstallTesting::Entry(name, kRelease, flags, plain, root + "/scratch");
    }
    std::string Compressed(DWORD flags, const std::string& plain = kPlain) {
        return InstallTesting::Compressed(plain, flags, root + "/scratch");
    }
};

// What the file on disk holds before CheckFile, and what CheckFile must leave.
enum class OnDisk { Nothing, Plain, OtherPlain, Compressed, CompressedOther, Garbage };
enum class After { Missing, Unchanged, Recompressed };

struct CheckCase {
    const char* name;
    DWORD flags;
    OnDisk onDisk;
    bool valid;
    After after;
};

void PrintTo(const CheckCase& c, std::ostream* out) { *out << c.name; }

class CheckFileTableTest : public FileCheckTest, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(CheckFileTableTest, JudgesTheCopyAndKeepsOrDeletesIt) {
    const CheckCase& c = GetParam();
    const ReleaseManifest::ENTRY entry = Entry("data/file.bin", c.flags);
    const std::string path = Deploy("game", kRelease, "data/file.bin");
    std::string bytes;
    switch (c.onDisk) {
        case OnDisk::Nothing: break;
        case OnDisk::Plain: bytes = kPlain; break;
        case OnDisk::OtherPlain: bytes = QuorTest::TextBytes(kPlain.size(), 8); break;
        case OnDisk::Compressed: bytes = Compressed(c.flags); break;
        case OnDisk::CompressedOther: bytes = Compressed(c.flags, QuorTest::TextBytes(kPlain.size(), 9)); break;
        case OnDisk::Garbage: bytes = QuorTest::RandomBytes(300, 3); break;
    }
    if (c.onDisk != OnDisk::Nothing) WriteFile(path, bytes);
    QuorTest::LogCapture log(Log::USER);

    EXPECT_EQ(CheckFile(path, entry, fileSystem, progress), c.valid);
    switch (c.after) {
        case After::Missing: EXPECT_FALSE(Exists(path)); break;
        case After::Unchanged: EXPECT_EQ(ReadFile(path), bytes); break;
        case After::Recompressed: EXPECT_EQ(ReadFile(path), Compressed(c.flags)); break;
    }
    EXPECT_TRUE(std::filesystem::is_empty(root + "/temp")) << "temporary files are removed";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CheckFileTableTest,
    ::testing::Values(CheckCase{"Missing", 0, OnDisk::Nothing, false, After::Missing},
                      CheckCase{"PlainGood", 0, OnDisk::Plain, true, After::Unchanged},
                      CheckCase{"PlainBadMd5IsKept", 0, OnDisk::OtherPlain, false, After::Unchanged},
                      CheckCase{"ZlibFetchedExpandedGood", 0x04, OnDisk::Plain, true, After::Unchanged},
                      CheckCase{"KeptZlibGood", 0x14, OnDisk::Compressed, true, After::Unchanged},
                      CheckCase{"KeptLzmaGood", 0x30, OnDisk::Compressed, true, After::Unchanged},
                      CheckCase{"KeptZlibPlainLeftoverIsRecompressed", 0x14, OnDisk::Plain, true, After::Recompressed},
                      CheckCase{"KeptLzmaPlainLeftoverIsRecompressed", 0x30, OnDisk::Plain, true, After::Recompressed},
                      CheckCase{"KeptWithoutCodecLeftoverIsDeleted", 0x10, OnDisk::Plain, false, After::Missing},
                      CheckCase{"KeptZlibCorruptIsDeleted", 0x14, OnDisk::Garbage, false, After::Missing},
                      CheckCase{"KeptLzmaCorruptIsDeleted", 0x30, OnDisk::Garbage, false, After::Missing},
                      CheckCase{"KeptZlibOtherContentIsKept", 0x14, OnDisk::CompressedOther, false, After::Unchanged}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(FileCheckTest, AZlibCopyOfABigFileIsExpandedThroughATemporaryFile) {
    // The stated plain size (one byte past what is expanded in memory) chooses the way.
    ReleaseManifest::ENTRY entry = Entry("big.bin", 0x14);
    entry.size = 0x6400000;
    const std::string path = Deploy("game", kRelease, "big.bin");
    WriteFile(path, Compressed(0x14));
    EXPECT_TRUE(CheckFile(path, entry, fileSystem, progress));
    EXPECT_TRUE(std::filesystem::is_empty(root + "/temp"));
}

TEST_F(FileCheckTest, CheckFileFastJudgesByTheStoredSizeAndDeletesAMismatch) {
    const std::string path = Deploy("game", kRelease, "f.bin");
    ReleaseManifest::ENTRY kept = Entry("f.bin", 0x14);
    WriteFile(path, Compressed(0x14));
    EXPECT_TRUE(CheckFileFast(path, kept, fileSystem, progress));
    ReleaseManifest::ENTRY plain = Entry("f.bin", 0);
    QuorTest::LogCapture log(Log::USER);
    EXPECT_FALSE(CheckFileFast(path, plain, fileSystem, progress));
    EXPECT_FALSE(Exists(path));
    EXPECT_FALSE(CheckFileFast(path, plain, fileSystem, progress));
}

class ExistingCopyTest : public FileCheckTest {
protected:
    // Stores bytes as the archived copy of entry and writes the pair out.
    void Archive(const ReleaseManifest::ENTRY& entry, const std::string& bytes) {
        ASSERT_EQ(ManagedFileHelper::AddFile("game", entry.version, entry.name, Scratch("stored", bytes)), S_OK);
        ASSERT_EQ(ManagedFileHelper::Flush(0), S_OK);
    }
    struct Answer {
        HRESULT hr;
        bool valid;
        bool bad;
    };
    Answer Check(const ReleaseManifest::ENTRY& entry, bool validBefore = false) {
        Answer answer{S_OK, validBefore, true};
        answer.hr = DoesFileExistWithCorrectMD5("game", kRelease, entry, fileSystem, answer.valid, answer.bad);
        return answer;
    }
};

TEST_F(ExistingCopyTest, ArchivedCopies) {
    QuorTest::LogCapture log(Log::USER);
    const auto absent = Entry("absent.bin", 0x02);
    Answer answer = Check(absent, true);
    EXPECT_EQ(answer.hr, S_OK);
    EXPECT_TRUE(answer.valid) << "left as the caller set it";
    EXPECT_FALSE(answer.bad);

    const auto good = Entry("good.bin", 0x02);
    Archive(good, kPlain);
    answer = Check(good);
    EXPECT_EQ(answer.hr, S_OK);
    EXPECT_TRUE(answer.valid);
    EXPECT_FALSE(answer.bad);

    const auto packed = Entry("packed.bin", 0x16);
    Archive(packed, Compressed(0x16));
    answer = Check(packed);
    EXPECT_TRUE(answer.valid);
    EXPECT_FALSE(answer.bad);

    const auto wrong = Entry("wrong.bin", 0x02);
    Archive(wrong, "other bytes");
    answer = Check(wrong, true);
    EXPECT_EQ(answer.hr, S_OK);
    EXPECT_FALSE(answer.valid);
    EXPECT_TRUE(answer.bad);
}

// A pair whose data file lost the copy's bytes after the archives were read: the archives are
// read again, the copy is no longer stored and is not valid (it is fetched again).
TEST_F(ExistingCopyTest, AnArchivedCopyWhoseBytesAreGoneIsNotValid) {
    const auto entry = Entry("a.bin", 0x02);
    Archive(entry, kPlain);
    for (const auto& file : std::filesystem::directory_iterator(root + "/projects/game/filearchives/1.0.0.1"))
        if (file.path().extension() == ".dat") std::filesystem::resize_file(file.path(), 10);
    QuorTest::LogCapture log(Log::USER);
    const Answer answer = Check(entry);
    EXPECT_EQ(answer.hr, S_OK);
    EXPECT_FALSE(answer.valid);
    EXPECT_FALSE(answer.bad);
    EXPECT_FALSE(ManagedFileHelper::DoesFileOrDirectoryExist("game", entry.version, entry.name));
}

TEST_F(ExistingCopyTest, DeployAndManagedCopies) {
    QuorTest::LogCapture log(Log::USER);
    const auto missing = Entry("missing.bin", 0);
    Answer answer = Check(missing);
    EXPECT_EQ(answer.hr, S_OK);
    EXPECT_FALSE(answer.valid);
    EXPECT_FALSE(answer.bad);

    const auto plain = Entry("plain.bin", 0);
    WriteFile(Deploy("game", kRelease, "plain.bin"), kPlain);
    EXPECT_TRUE(Check(plain).valid);

    const auto wrong = Entry("wrong.bin", 0);
    WriteFile(Deploy("game", kRelease, "wrong.bin"), "other");
    answer = Check(wrong);
    EXPECT_EQ(answer.hr, S_OK);
    EXPECT_FALSE(answer.valid);
    EXPECT_FALSE(answer.bad) << "only an archived copy is reported bad";

    auto managed = Entry("m/shared.bin", 0x01);
    managed.version = V(1, 0, 0, 0);
    WriteFile(Managed("game", V(1, 0, 0, 0), "m/shared.bin"), kPlain);
    EXPECT_TRUE(Check(managed).valid);
}

// A copy kept compressed is judged by its plain content, else every one an interrupted install
// left would be fetched again.
TEST_F(ExistingCopyTest, CopiesKeptCompressedAreExpandedBeforeTheirCheck) {
    QuorTest::LogCapture log(Log::USER);
    for (const DWORD flags : {0x14u, 0x30u}) {
        const auto deploy = Entry("kept.bin", flags);
        WriteFile(Deploy("game", kRelease, "kept.bin"), Compressed(flags));
        EXPECT_TRUE(Check(deploy).valid) << flags;

        auto managed = Entry("m/kept.bin", flags | 0x01);
        WriteFile(Managed("game", kRelease, "m/kept.bin"), Compressed(flags));
        EXPECT_TRUE(Check(managed).valid) << flags;
    }
    const auto corrupt = Entry("corrupt.bin", 0x14);
    WriteFile(Deploy("game", kRelease, "corrupt.bin"), "not zlib");
    const Answer answer = Check(corrupt);
    EXPECT_EQ(answer.hr, S_OK);
    EXPECT_FALSE(answer.valid);
    EXPECT_TRUE(std::filesystem::is_empty(root + "/temp"));
}

TEST_F(FileCheckTest, FindManifestEntryIgnoresCaseAndReportsDuplicates) {
    ReleaseManifest manifest;
    const unsigned char md5[16] = {};
    ASSERT_EQ(manifest.Add("data/File.txt", 1, md5, 0, 1, 1), S_OK);
    ASSERT_EQ(manifest.Add("other.txt", 1, md5, 0, 1, 1), S_OK);
    EXPECT_EQ(FindManifestEntry(manifest, "DATA/file.TXT"), &manifest.m_Entries[0]);
    EXPECT_EQ(FindManifestEntry(manifest, "data\\\\file.txt"), &manifest.m_Entries[0]);
    EXPECT_EQ(FindManifestEntry(manifest, "missing.txt"), nullptr);

    ASSERT_EQ(manifest.AddUnsorted("OTHER.txt", 2, md5, 0, 1, 1), S_OK);
    ASSERT_EQ(manifest.SortEntries(nullptr), S_OK);
    QuorTest::LogCapture log;
    const ReleaseManifest::ENTRY* found = FindManifestEntry(manifest, "Other.txt");
    ASSERT_NE(found, nullptr);
    EXPECT_TRUE(found == &manifest.m_Entries[1] || found == &manifest.m_Entries[2]);
    EXPECT_TRUE(log.HasError("\"Other.txt\" has multiple entries in manifest. "));
}

TEST(ByteCountTest, EachListCountsByItsRule) {
    struct Row {
        DWORD flags, size, compressed;
    };
    const Row rows[] = {{0x00, 100, 0}, {0x04, 200, 50}, {0x20, 300, 70}, {0x14, 400, 90}, {0x10, 500, 110}};
    std::vector<ReleaseManifest::ENTRY> entries;
    for (const Row& row : rows) {
        ReleaseManifest::ENTRY entry;
        entry.flags = row.flags;
        entry.size = row.size;
        entry.compressedSize = row.compressed;
        entries.push_back(entry);
    }
    std::vector<FileToDownload> downloads;
    std::vector<DownloadManager::DownloadPath> paths;
    for (const auto& entry : entries) {
        downloads.push_back({&entry, ""});
        paths.push_back({"", &entry, ""});
    }
    EXPECT_EQ(GetDownloadSize(downloads), 100u + 50 + 70 + 90 + 500);
    EXPECT_EQ(GetDownloadPathSize(paths, false), 100u + 50 + 70 + 90 + 500);
    EXPECT_EQ(GetDownloadPathSize(paths, true), 100u + 200 + 300 + 400 + 500);
    EXPECT_EQ(GetExtractSize(paths), 250u + 370);
    EXPECT_EQ(GetDownloadSize({}), 0u);
}

}  // namespace
}  // namespace Quor::User::UpdateAndInstallShared
