#include "api/AsyncLoadFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>

#include "tests/api/GameRelease.h"
#include "archive/ReaderLock.h"
#include "archive/testing/ArchiveTesting.h"
#include "foundation/CStd/CStdFiles.h"
#include "tests/kit/TestData.h"

namespace Quor::API::Impl {
namespace {

using QuorTest::Flags;

class AsyncLoadFileTest : public QuorTest::GameRelease {
protected:
    struct Outcome {
        HRESULT hr;
        std::shared_ptr<IBuffer> buffer;
        std::string bytes() const {
            return buffer && buffer->GetBufferSize()
                       ? std::string(static_cast<const char*>(buffer->GetBufferPointer()), buffer->GetBufferSize())
                       : std::string();
        }
    };
    Outcome Load(const std::string& name) {
        const auto load = main->CreateAsyncLoadFile(name);
        load->WaitUntilComplete();
        EXPECT_TRUE(load->GetIsComplete());
        load->WaitUntilComplete();  // a complete load is not waited for again
        const auto result = load->GetAutoLockResult();
        return {result->GetHResult(), result->GetBuffer()};
    }
    // A sparse file of `size` bytes in the working folder.
    std::string Sparse(const std::string& name, off_t size) {
        const int fd = ::open((deploy + "/" + name).c_str(), O_CREAT | O_EXCL | O_WRONLY, 0644);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(::ftruncate(fd, size), 0);
        ::close(fd);
        return name;
    }
};

TEST_F(AsyncLoadFileTest, LoadsEveryKindOfFileExactly) {
    QuorTest::WriteFile(deploy + "/unlisted.bin", "not in any manifest");
    struct Case {
        std::string name;
        std::string bytes;
    };
    const Case cases[] = {
        {"data/plain.bin", QuorTest::kTen},         {"data/stored.bin", QuorTest::kTen},
        {"DATA\\ZLIB.BIN", QuorTest::kTen},          {"data/lzma.bin", QuorTest::kTen},
        {"data/managed.bin", QuorTest::kTen},       {"unlisted.bin", "not in any manifest"},
        {"data/stored.txt", QuorTest::kText},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome outcome = Load(c.name);
        EXPECT_EQ(outcome.hr, S_OK);
        ASSERT_TRUE(outcome.buffer);
        EXPECT_EQ(outcome.bytes(), c.bytes);
    }
}

TEST_F(AsyncLoadFileTest, ReadsWholeBlocksAndShowsOnlyTheFile) {
    // Stored after 5000 bytes of another file: with 4096-byte blocks the read starts at 4096 and
    // the file's 100 bytes begin 904 bytes into the page-aligned allocation.
    const std::string target = QuorTest::RandomBytes(100, 3);
    tree.AddProject("blocks", 0x01000000,
                    {{"a/filler", Flags::FLAG_ARCHIVED, QuorTest::RandomBytes(5000, 4)},
                     {"b/target", Flags::FLAG_ARCHIVED, target},
                     {"c/after", Flags::FLAG_ARCHIVED, std::string(9000, 'z')}});
    const auto inBlocks = tree.Enter(tree.ProjectRelease("blocks", 0x01000000) + "/deploy");
    std::shared_ptr<IMain> blocks;
    ASSERT_EQ(CreateMain(blocks), S_OK);

    Common::ReleaseManifestCache cache;
    std::string dataFile;
    uint32_t offset = 0, size = 0, handle = 0;
    ASSERT_EQ(User::LockFile("blocks", 0x01000000, "b/target", cache, dataFile, offset, size, handle), S_OK);
    ASSERT_EQ(User::UnlockFile(handle), S_OK);
    ASSERT_EQ(offset, 5000u) << "the pair's layout changed";
    uint32_t block = 0;
    uint64_t freeBlocks = 0, totalBlocks = 0;
    ASSERT_TRUE(Vorn::std_file_system_size(".", block, freeBlocks, totalBlocks));
    ASSERT_EQ(block, 4096u) << "the test folder's file system uses other blocks";

    const auto load = blocks->CreateAsyncLoadFile("b/target");
    load->WaitUntilComplete();
    const auto result = load->GetAutoLockResult();
    ASSERT_EQ(result->GetHResult(), S_OK);
    const auto buffer = result->GetBuffer();
    ASSERT_TRUE(buffer);
    EXPECT_EQ(buffer->GetBufferSize(), 100u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer->GetBufferPointer()) % 4096, 904u);
    EXPECT_EQ(std::string(static_cast<const char*>(buffer->GetBufferPointer()), 100), target);
}

TEST_F(AsyncLoadFileTest, FailuresCompleteWithAnEmptyBuffer) {
    ArchiveTesting::LogRecorder log;
    struct Case {
        std::string name;
        std::string log;
    };
    const Case cases[] = {
        {"", "Empty file name"},
        {"data/odd.bin", "Unsupported compression type"},
        {"missing.bin", "Failed to get file size"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto load = main->CreateAsyncLoadFile(c.name);
        EXPECT_TRUE(load->GetIsComplete());  // at once, from the constructor
        load->WaitUntilComplete();
        const auto result = load->GetAutoLockResult();
        EXPECT_EQ(result->GetHResult(), E_FAIL);
        EXPECT_FALSE(result->GetBuffer());
        EXPECT_TRUE(log.Contains(c.log)) << log.All();
    }
}

TEST_F(AsyncLoadFileTest, ArchivedEmptyFileLoadsEmpty) {
    const Outcome outcome = Load("data/empty.bin");
    EXPECT_EQ(outcome.hr, S_OK);
    ASSERT_TRUE(outcome.buffer);
    EXPECT_EQ(outcome.buffer->GetBufferSize(), 0u);
}

TEST_F(AsyncLoadFileTest, DataFileCutShortFails) {
    Common::ReleaseManifestCache cache;
    std::string dataFile;
    uint32_t offset = 0, size = 0, handle = 0;
    ASSERT_EQ(User::LockFile("game", QuorTest::kGameRelease, "data/stored.bin", cache, dataFile, offset, size, handle),
              S_OK);
    ASSERT_EQ(User::UnlockFile(handle), S_OK);
    std::replace(dataFile.begin(), dataFile.end(), '\\', '/');
    ASSERT_EQ(::truncate(dataFile.c_str(), offset + 4), 0);
    ArchiveTesting::LogRecorder log;
    const Outcome outcome = Load("data/stored.bin");
    EXPECT_TRUE(FAILED(outcome.hr));
    EXPECT_FALSE(outcome.buffer);
}

TEST_F(AsyncLoadFileTest, CancelEndsALargeLoadWithAbort) {
    const auto load = main->CreateAsyncLoadFile(Sparse("large.bin", 1 << 30));
    load->Cancel();
    load->WaitUntilComplete();
    const auto result = load->GetAutoLockResult();
    EXPECT_EQ(result->GetHResult(), E_ABORT);
    EXPECT_FALSE(result->GetBuffer());
    load->Cancel();  // a complete load ignores it
    EXPECT_EQ(result->GetHResult(), E_ABORT);
}

TEST_F(AsyncLoadFileTest, DestroyingARunningLoadStopsIt) {
    auto load = main->CreateAsyncLoadFile(Sparse("large.bin", 1 << 30));
    load.reset();  // sets the terminate event and waits for the worker
    // A load that was read whole or stopped both leave the main object usable.
    EXPECT_EQ(Load("data/stored.bin").bytes(), QuorTest::kTen);
}

}  // namespace
}  // namespace Quor::API::Impl
