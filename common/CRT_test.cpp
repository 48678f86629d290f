#include "common/CRT.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#include "common/BufferMalloc.h"
#include "common/UniqueFile.h"
#include "tests/kit/TempDir.h"

using namespace Quor::Common;

TEST(BufferMalloc, OwnsAFreshOrAHandedOverBlock) {
    std::shared_ptr<Quor::API::IBuffer> fresh = std::make_shared<BufferMalloc>(16, nullptr);
    ASSERT_NE(fresh->GetBufferPointer(), nullptr);
    EXPECT_EQ(fresh->GetBufferSize(), 16u);
    std::memset(fresh->GetBufferPointer(), 0xAB, 16);

    void* handed = std::malloc(5);
    std::memcpy(handed, "abcde", 5);
    BufferMalloc owner(5, handed);
    const Quor::API::IBuffer& view = owner;
    EXPECT_EQ(view.GetBufferPointer(), handed);
    EXPECT_EQ(std::memcmp(view.GetBufferPointer(), "abcde", 5), 0);
}  // both blocks are freed here (the sanitizer build checks it)

TEST(BufferMallocEx, ShowsTheDataAtItsOffsetInsideAnAlignedBlock) {
    BufferMallocEx buffer(8192, 100, 4000, 4096);
    auto* data = static_cast<char*>(buffer.GetBufferPointer());
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(data - 4000) % 4096, 0u);
    EXPECT_EQ(buffer.GetBufferSize(), 100u);
    std::memset(data, 1, 100);  // inside the block

    // A data range that does not fit inside the block is refused, not handed out.
    BufferMallocEx tooFar(8192, 100, 8100, 4096);
    EXPECT_EQ(tooFar.GetBufferPointer(), nullptr);
    EXPECT_EQ(tooFar.GetBufferSize(), 100u);
}

TEST(CRT, FopenReportsAMissingFileWithItsErrorNumber) {
    QuorTest::TempDir dir;
    FILE* stream = reinterpret_cast<FILE*>(1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(CRT::fopen_s(&stream, (dir / "missing").c_str(), "rb"), ENOENT);
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(CRT::fopen((dir / "missing").c_str(), "rb"), nullptr);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("errno_t Quor::Common::CRT::fopen_s(FILE **, const char *, const char *): (\"" +
                       dir.path() + "/missing\", \"rb\") failed: No such file or directory\n"),
              std::string::npos)
        << err;

    QuorTest::WriteFile(dir / "present", "x");
    ASSERT_EQ(CRT::fopen_s(&stream, (dir / "present").c_str(), "rb"), 0);
    UniqueFile owned(stream);
    EXPECT_NE(stream, nullptr);
}

TEST(CRTThrows, AShortReadThrowsAfterDeliveringWhatWasThere) {
    QuorTest::TempDir dir;
    QuorTest::WriteFile(dir / "three", "abc");
    UniqueFile in(CRTThrows::fopen((dir / "three").c_str(), "rb"));
    char data[10] = {};
    testing::internal::CaptureStderr();
    EXPECT_THROW(CRTThrows::fread(data, 1, 10, in.get()), std::runtime_error);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::string(data, 3), "abc");
    EXPECT_NE(err.find("fread(void *, SIZE_T, SIZE_T, FILE *): unexpected end of file\n"), std::string::npos)
        << err;
    EXPECT_NE(err.find(", 1, 10, 0x"), std::string::npos) << err;
}

TEST(CRTThrows, FailuresThrowTheSystemsTextAndLogTheArguments) {
    QuorTest::TempDir dir;
    QuorTest::WriteFile(dir / "f", "0123456789");
    UniqueFile in(CRTThrows::fopen((dir / "f").c_str(), "rb"));
    char data[4];
    EXPECT_EQ(CRTThrows::fread(data, 2, 2, in.get()), 2u);
    EXPECT_EQ(CRTThrows::ftell(in.get()), 4);
    CRTThrows::fseek(in.get(), -1, SEEK_END);
    EXPECT_EQ(CRTThrows::ftell(in.get()), 9);

    testing::internal::CaptureStderr();
    try {
        CRTThrows::fseek(in.get(), -100, SEEK_END);
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Invalid argument");
    }
    EXPECT_THROW(CRTThrows::fwrite("x", 1, 1, in.get()), std::runtime_error);  // opened for reading
    EXPECT_THROW(CRTThrows::fopen((dir / "missing/f").c_str(), "rb"), std::runtime_error);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    UniqueFile pipeEnd(fdopen(fds[0], "r"));
    close(fds[1]);
    EXPECT_THROW(CRTThrows::ftell(pipeEnd.get()), std::runtime_error);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(", -100, SEEK_END)\n"), std::string::npos) << err;
    EXPECT_NE(err.find("CRTThrows::fopen(const char *, const char *): (" + dir.path() + "/missing/f, rb)\n"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("CRTThrows::ftell(FILE *): Illegal seek\n"), std::string::npos) << err;
}
