// The three file classes behind IMain::OpenFile, read through IFile: positions at start, middle,
// end and beyond, short reads, text mode, and the archive lock they hold.
#include "api/IFile.h"

#include <gtest/gtest.h>

#include <typeinfo>

#include "api/FileManagedCompressed.h"
#include "api/FileManagedUncompressed.h"
#include "api/FileUnmanaged.h"
#include "tests/api/GameRelease.h"
#include "archive/testing/ArchiveTesting.h"
#include "tests/kit/TestData.h"

namespace Quor::API::Impl {
namespace {

using QuorTest::Flags;
using QuorTest::kText;

class IFileTest : public QuorTest::GameRelease {};

TEST_F(IFileTest, OpenFilePicksTheClassByEntryFlags) {
    QuorTest::WriteFile(deploy + "/unlisted.bin", "u");
    struct Case {
        std::string name;
        const std::type_info& type;
    };
    const Case cases[] = {
        {"unlisted.bin", typeid(FileUnmanaged)},
        {"data/plain.bin", typeid(FileUnmanaged)},
        {"DATA\\Stored.BIN", typeid(FileManagedUncompressed)},
        {"data/zlib.bin", typeid(FileManagedCompressed)},
        {"data/lzma.bin", typeid(FileManagedCompressed)},
        {"data/managed.bin", typeid(FileManagedCompressed)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto file = Open(c.name, FILE_TYPE_BINARY);
        ASSERT_TRUE(file);
        const IFile& object = *file;
        EXPECT_EQ(typeid(object), c.type);
    }
    std::shared_ptr<IFile> file = Open("data/plain.bin", FILE_TYPE_BINARY);
    EXPECT_EQ(main->OpenFile("", FILE_TYPE_BINARY, file), E_FAIL);
    EXPECT_FALSE(file);
    ArchiveTesting::LogRecorder log(Log::DEBUG);
    EXPECT_TRUE(FAILED(main->OpenFile("missing.bin", FILE_TYPE_BINARY, file)));
    EXPECT_FALSE(file);
    EXPECT_TRUE(log.Contains("Quor failed to open file \"missing.bin\".")) << log.All();
}

TEST_F(IFileTest, EveryStoredFormReadsBackByteIdentical) {
    const std::string big = QuorTest::RandomBytes(300000, 7);
    tree.AddProject("big", 0x01000000,
                    {{"plain", 0, big},
                     {"stored", Flags::FLAG_ARCHIVED, big},
                     {"zlib", Flags::FLAG_ARCHIVED | Flags::FLAG_STORED_COMPRESSED | Flags::FLAG_ZLIB, big},
                     {"lzma", Flags::FLAG_ARCHIVED | Flags::FLAG_STORED_COMPRESSED | Flags::FLAG_LZMA, big},
                     {"managed", Flags::FLAG_MANAGED | Flags::FLAG_STORED_COMPRESSED | Flags::FLAG_LZMA, big}});
    const auto inBig = tree.Enter(tree.ProjectRelease("big", 0x01000000) + "/deploy");
    std::shared_ptr<IMain> bigMain;
    ASSERT_EQ(CreateMain(bigMain), S_OK);
    for (const char* name : {"plain", "stored", "zlib", "lzma", "managed"}) {
        SCOPED_TRACE(name);
        std::shared_ptr<IFile> file;
        ASSERT_EQ(bigMain->OpenFile(name, FILE_TYPE_BINARY, file), S_OK);
        EXPECT_EQ(file->GetSize(), big.size());
        std::string read(big.size(), '\0');
        size_t count = 0;
        ASSERT_EQ(file->Read(read.data(), 1000, 300, count), S_OK);
        EXPECT_EQ(count, 300u);
        EXPECT_TRUE(read == big);
        // stdio sees the end only once a read went past it.
        EXPECT_EQ(file->IsEndOfFile(), std::string(name) != "plain");
    }
}

// One step of a walk through a 10-byte binary file "0123456789".
struct Step {
    enum Op { READ, SEEK, TELL, END } op;
    int32_t offset = 0;       // SEEK offset; READ element count (size 1)
    IFile::SEEK_ORIGIN origin = IFile::SEEK_ORIGIN_SET;
    HRESULT hr = S_OK;
    std::string bytes;        // READ: the bytes copied; TELL: the position as text; END: "1"/"0"
    size_t reported = 0;      // READ: the elements reported read
};

void Walk(IFile& file, const std::vector<Step>& steps) {
    int index = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE("step " + std::to_string(index++));
        switch (step.op) {
            case Step::READ: {
                char buffer[32] = {};
                size_t count = 99;
                EXPECT_EQ(file.Read(buffer, 1, static_cast<size_t>(step.offset), count), step.hr);
                EXPECT_EQ(count, step.reported);
                EXPECT_EQ(std::string(buffer, step.bytes.size()), step.bytes);
                break;
            }
            case Step::SEEK:
                EXPECT_EQ(file.Seek(step.offset, step.origin), step.hr);
                break;
            case Step::TELL: {
                int32_t position = -7;
                EXPECT_EQ(file.Tell(position), step.hr);
                EXPECT_EQ(std::to_string(position), step.bytes);
                break;
            }
            case Step::END:
                EXPECT_EQ(file.IsEndOfFile() ? "1" : "0", step.bytes);
                break;
        }
    }
}

// The archived and the in-memory classes share their position rules: Seek from the end counts
// back, a short read copies and reports what is left and moves the position past the end by the
// whole request, a read past the end fails with nothing copied.
std::vector<Step> ManagedWalk(HRESULT seekPastEnd) {
    return {
        {Step::TELL, 0, {}, S_OK, "0", 0},
        {Step::END, 0, {}, S_OK, "0", 0},
        {Step::READ, 4, {}, S_OK, "0123", 4},
        {Step::TELL, 0, {}, S_OK, "4", 0},
        {Step::SEEK, 1, IFile::SEEK_ORIGIN_CUR, S_OK, "", 0},
        {Step::READ, 2, {}, S_OK, "56", 2},
        {Step::SEEK, 3, IFile::SEEK_ORIGIN_END, S_OK, "", 0},
        {Step::TELL, 0, {}, S_OK, "7", 0},
        {Step::SEEK, 8, IFile::SEEK_ORIGIN_SET, S_OK, "", 0},
        {Step::READ, 4, {}, E_FAIL, "89", 2},
        {Step::TELL, 0, {}, S_OK, "12", 0},
        {Step::END, 0, {}, S_OK, "1", 0},
        {Step::READ, 1, {}, E_FAIL, "", 0},
        {Step::SEEK, 0, IFile::SEEK_ORIGIN_END, S_OK, "", 0},
        {Step::END, 0, {}, S_OK, "1", 0},
        {Step::SEEK, 20, IFile::SEEK_ORIGIN_SET, seekPastEnd, "", 0},
        {Step::TELL, 0, {}, S_OK, "20", 0},
        {Step::READ, 1, {}, E_FAIL, "", 0},
        {Step::SEEK, 0, IFile::SEEK_ORIGIN_SET, S_OK, "", 0},
        {Step::READ, 10, {}, S_OK, "0123456789", 10},
    };
}

TEST_F(IFileTest, ArchivedUncompressedWalk) {
    const auto file = Open("data/stored.bin", FILE_TYPE_BINARY);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->GetSize(), 10u);
    EXPECT_EQ(file->GetFileType(), FILE_TYPE_BINARY);
    Walk(*file, ManagedWalk(S_OK));  // the archived class does not check a Seek against the size

    // A request of 4 GiB moves the position past the end, not around to where it was: the next
    // read must not go on into the bytes stored after the file.
    ASSERT_EQ(file->Seek(0, IFile::SEEK_ORIGIN_SET), S_OK);
    char buffer[10];
    size_t count = 0;
    EXPECT_EQ(file->Read(buffer, 1, size_t{1} << 32, count), E_FAIL);
    EXPECT_EQ(count, 10u);
    EXPECT_TRUE(file->IsEndOfFile());
    EXPECT_EQ(file->Read(buffer, 1, 1, count), E_FAIL);
    EXPECT_EQ(count, 0u);
}

TEST_F(IFileTest, CompressedWalks) {
    for (const char* name : {"data/zlib.bin", "data/lzma.bin", "data/managed.bin"}) {
        SCOPED_TRACE(name);
        const auto file = Open(name, FILE_TYPE_BINARY);
        ASSERT_TRUE(file);
        EXPECT_EQ(file->GetSize(), 10u);
        Walk(*file, ManagedWalk(E_FAIL));  // "Past end of file"
    }
}

TEST_F(IFileTest, PlainFileWalkKeepsTheCLibrarysMeaning) {
    const auto file = Open("data/plain.bin", FILE_TYPE_BINARY);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->GetSize(), 10u);
    Walk(*file, {
                    {Step::TELL, 0, {}, S_OK, "0", 0},
                    {Step::READ, 4, {}, S_OK, "0123", 4},
                    {Step::SEEK, 3, IFile::SEEK_ORIGIN_END, S_OK, "", 0},
                    {Step::TELL, 0, {}, S_OK, "13", 0},
                    {Step::READ, 1, {}, E_FAIL, "", 0},
                    {Step::END, 0, {}, S_OK, "1", 0},
                    {Step::SEEK, 8, IFile::SEEK_ORIGIN_SET, S_OK, "", 0},
                    {Step::END, 0, {}, S_OK, "0", 0},
                    {Step::READ, 4, {}, E_FAIL, "89", 2},
                    {Step::TELL, 0, {}, S_OK, "10", 0},
                    {Step::SEEK, -1, IFile::SEEK_ORIGIN_SET, E_FAIL, "", 0},
                });
}

TEST_F(IFileTest, TextModeLinesAndRefusals) {
    for (const char* name : {"data/stored.txt", "data/zlib.txt"}) {
        SCOPED_TRACE(name);
        const auto file = Open(name, FILE_TYPE_TEXT);
        ASSERT_TRUE(file);
        ArchiveTesting::LogRecorder log;
        std::string line;
        EXPECT_EQ(file->GetString(line), S_OK);
        EXPECT_EQ(line, "first\n");
        EXPECT_EQ(file->GetString(line), S_OK);
        EXPECT_EQ(line, "second\r\n");
        EXPECT_EQ(file->GetString(line), S_OK);
        EXPECT_EQ(line, "last");
        EXPECT_TRUE(file->IsEndOfFile());
        EXPECT_EQ(file->GetString(line), E_FAIL);
        EXPECT_TRUE(line.empty());
        EXPECT_TRUE(log.Contains("End of file"));
        char buffer[4];
        size_t count = 9;
        int32_t position = 0;
        EXPECT_EQ(file->Read(buffer, 1, 1, count), E_FAIL);
        EXPECT_EQ(count, 0u);
        EXPECT_EQ(file->Tell(position), E_FAIL);
        EXPECT_EQ(position, -1);
        EXPECT_TRUE(log.Contains("Only supported when file is opened for binary access.")) << log.All();
        // Seek still moves through the text.
        EXPECT_EQ(file->Seek(6, IFile::SEEK_ORIGIN_SET), S_OK);
        EXPECT_EQ(file->GetString(line), S_OK);
        EXPECT_EQ(line, "second\r\n");
    }
    const auto binary = Open("data/stored.bin", FILE_TYPE_BINARY);
    std::string line = "x";
    EXPECT_EQ(binary->GetString(line), E_FAIL);
    EXPECT_TRUE(line.empty());

    // A plain file: lines with "\r\n" turned into "\n", Read allowed in text mode too.
    const auto plain = Open("data/plain.txt", FILE_TYPE_TEXT);
    ASSERT_TRUE(plain);
    for (const char* expected : {"first\n", "second\n", "last"}) {
        EXPECT_EQ(plain->GetString(line), S_OK);
        EXPECT_EQ(line, expected);
    }
    EXPECT_EQ(plain->GetString(line), E_FAIL);
    EXPECT_EQ(plain->Seek(0, IFile::SEEK_ORIGIN_SET), S_OK);
    char buffer[5] = {};
    size_t count = 0;
    EXPECT_EQ(plain->Read(buffer, 1, 5, count), S_OK);
    EXPECT_EQ(std::string(buffer, 5), "first");
}

TEST_F(IFileTest, LongPlainLineComesInPieces) {
    const std::string line5000(5000, 'x');
    QuorTest::WriteFile(deploy + "/long.txt", line5000 + "\n");
    const auto file = Open("long.txt", FILE_TYPE_TEXT);
    ASSERT_TRUE(file);
    std::string a, b;
    EXPECT_EQ(file->GetString(a), S_OK);
    EXPECT_EQ(file->GetString(b), S_OK);
    EXPECT_EQ(a.size(), 4095u);
    EXPECT_EQ(a + b, line5000 + "\n");
}

TEST_F(IFileTest, FailedPlainOpenLeavesNothingToUse) {
    ArchiveTesting::LogRecorder log(Log::WARNING);
    HRESULT hr = S_OK;
    FileUnmanaged file("no/such/file", FILE_TYPE_BINARY, hr);
    EXPECT_TRUE(FAILED(hr));
    EXPECT_TRUE(log.Contains("Failed to open \"no/such/file\".")) << log.All();
    EXPECT_FALSE(log.Contains("seek")) << log.All();
    EXPECT_EQ(file.GetSize(), 0u);
    EXPECT_TRUE(file.IsEndOfFile());
    int32_t position = 0;
    EXPECT_EQ(file.Tell(position), E_FAIL);
    EXPECT_EQ(file.Seek(0, IFile::SEEK_ORIGIN_SET), E_FAIL);
}

TEST_F(IFileTest, ArchivedFileLocksItsPairUntilReleased) {
    QuorTest::WriteFile(tree.Root() + "/new", "new bytes!");
    // The compressed class holds the lock only while it reads.
    const auto compressed = Open("data/zlib.bin", FILE_TYPE_BINARY);
    auto file = Open("data/stored.bin", FILE_TYPE_BINARY);
    ASSERT_TRUE(file);
    ASSERT_EQ(User::ManagedFileHelper::ReplaceFile("game", QuorTest::kGameRelease, "data/stored.bin",
                                                   tree.Root() + "/new"),
              S_OK);
    {
        ArchiveTesting::LogRecorder log;
        EXPECT_TRUE(FAILED(User::ManagedFileHelper::Flush(0)));
        EXPECT_TRUE(log.Contains("still locked")) << log.All();
    }
    file.reset();
    ASSERT_EQ(User::ManagedFileHelper::Flush(0), S_OK);
    file = Open("data/stored.bin", FILE_TYPE_BINARY);
    ASSERT_TRUE(file);
    char buffer[10];
    size_t count = 0;
    EXPECT_EQ(file->Read(buffer, 1, 10, count), S_OK);
    EXPECT_EQ(std::string(buffer, 10), "new bytes!");
}

}  // namespace
}  // namespace Quor::API::Impl
