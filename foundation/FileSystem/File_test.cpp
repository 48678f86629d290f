#include "foundation/FileSystem/File.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/EventMultiWaitable.h"
#include "foundation/WaitResult.h"
#include "tests/kit/TempDir.h"

using namespace Vorn;
using namespace Vorn::FileSystem;

namespace {
FilePtr_t Open(const std::string& path, DWORD access) {
    return File::Create(path.c_str(), access, eFileShareNone, eFileOpenDefault, eFileFlagsNone);
}
std::string Digits(size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s += static_cast<char>('0' + i % 10);
    return s;
}
}  // namespace

TEST(File, CreateChoosesTheModeFromTheAccessBits) {
    QuorTest::TempDir dir;
    EXPECT_FALSE(Open(dir / "missing", eFileAccessRead)) << "read access never creates";
    EXPECT_FALSE(QuorTest::Exists(dir / "missing"));
    EXPECT_FALSE(Open(dir / "none", 0));
    EXPECT_FALSE(QuorTest::Exists(dir / "none"));

    QuorTest::WriteFile(dir / "old", "previous bytes");
    EXPECT_TRUE(Open(dir / "old", eFileAccessWrite)) << "write access empties";
    EXPECT_EQ(QuorTest::ReadFile(dir / "old"), "");

    QuorTest::MakeDirs(dir / "sub");
    std::string backslashed = dir / "sub\\made";
    EXPECT_TRUE(Open(backslashed, eFileAccessWrite)) << "a backslash separates folders";
    EXPECT_TRUE(QuorTest::Exists(dir / "sub/made"));

    QuorTest::WriteFile(dir / "both", "kept");
    auto both = Open(dir / "both", eFileAccessRead | eFileAccessWrite);
    ASSERT_TRUE(both) << "the read bit wins: opened for reading";
    EXPECT_EQ(QuorTest::ReadFile(dir / "both"), "kept");
}

TEST(File, AsyncReadNearTheEndReportsTheBytesThereWithTheEventSet) {
    QuorTest::TempDir dir;
    const std::string content = Digits(1000);
    QuorTest::WriteFile(dir / "data", content);
    auto file = Open(dir / "data", eFileAccessRead);
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->SetOffset(static_cast<uint64_t>(-40), eSeekEnd));

    auto event = EventMultiWaitable::Create(true, false);
    char buffer[100];
    auto result = file->ReadAsync(buffer, sizeof buffer, event);
    ASSERT_TRUE(result);
    EXPECT_EQ(event->Wait(0), WAIT_OBJECT_0) << "the event is set before ReadAsync returns";
    EXPECT_EQ(result->completed, 1u);
    bool pending = true;
    DWORD transferred = 0;
    EXPECT_TRUE(file->GetAsyncResult(result, true, pending, transferred));
    EXPECT_FALSE(pending);
    EXPECT_EQ(transferred, 40u);
    EXPECT_EQ(std::string(buffer, 40), content.substr(960));

    uint64_t offset = 0;
    ASSERT_TRUE(file->GetOffset(offset));
    EXPECT_EQ(offset, 1000u);
    EXPECT_TRUE(file->CancelAsync());
}

TEST(File, SeeksAndReadsReportTheirFailures) {
    QuorTest::TempDir dir;
    QuorTest::WriteFile(dir / "data", Digits(10));
    auto file = Open(dir / "data", eFileAccessRead);
    ASSERT_TRUE(file);
    EXPECT_FALSE(file->SetOffset(static_cast<uint64_t>(-20), eSeekCurrent)) << "a seek before the start fails";
    EXPECT_TRUE(file->SetOffset(static_cast<uint64_t>(-3), eSeekEnd));
    char buffer[8];
    DWORD count = 0;
    EXPECT_FALSE(file->Read(buffer, sizeof buffer, count)) << "only 3 of 8 bytes were there";
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(std::string(buffer, 3), "789");

    // Reading from a file opened for writing is a stream error: no record, event untouched.
    auto writer = Open(dir / "out", eFileAccessWrite);
    auto event = EventMultiWaitable::Create(true, false);
    EXPECT_FALSE(writer->ReadAsync(buffer, sizeof buffer, event));
    EXPECT_EQ(event->Wait(0), WAIT_TIMEOUT);
    bool pending = true;
    DWORD transferred = 5;
    EXPECT_FALSE(writer->GetAsyncResult(nullptr, false, pending, transferred));
}

TEST(File, AsyncWriteStoresItsBytesAtTheOffset) {
    QuorTest::TempDir dir;
    auto event = EventMultiWaitable::Create(false, false);
    {
        auto file = Open(dir / "out", eFileAccessWrite);
        ASSERT_TRUE(file);
        auto first = file->WriteAsync("hello world", 11, 0, event);
        ASSERT_TRUE(first);
        EXPECT_EQ(first->transferred, 11u);
        EXPECT_EQ(event->Wait(0), WAIT_OBJECT_0);
        auto second = file->WriteAsync("W", 1, 6, event);
        ASSERT_TRUE(second);
        EXPECT_EQ(second->transferred, 1u);
    }
    EXPECT_EQ(QuorTest::ReadFile(dir / "out"), "hello World");

    // Writing to a file opened for reading fails without setting the event.
    auto reader = Open(dir / "out", eFileAccessRead);
    event->Reset();
    EXPECT_FALSE(reader->WriteAsync("x", 1, 0, event));
    EXPECT_EQ(event->Wait(0), WAIT_TIMEOUT);
}
