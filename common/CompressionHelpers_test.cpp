// What the zlib and LZMA2 helpers share: byte-identical round trips through every form (file to
// file, file to buffer, buffer to buffer, the cooperative task on a pool), the append flag,
// truncated input, and open failures reported as failures.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "common/BufferMalloc.h"
#include "common/LZMA.h"
#include "common/ThreadPool.h"
#include "common/ThreadedCooperativeTask.h"
#include "common/ZLibHelper.h"
#include "foundation/OsContext.h"
#include "foundation/testing/FaultInjectingFileSystem.h"
#include "tests/kit/TempDir.h"
#include "tests/kit/TestData.h"

namespace {

struct LzmaHelpers {
    static constexpr const char* kName = "lzma2";
    static HRESULT CompressFile(const std::string& from, const std::string& to, DWORD flags) {
        return Quor::Common::LZMA::CompressFile(from, to, flags);
    }
    static HRESULT DecompressFile(const std::string& from, const std::string& to) {
        return Quor::Common::LZMA::DecompressFile(from, to);
    }
    static HRESULT DecompressFile(const std::string& from, std::shared_ptr<Quor::API::IBuffer>& out) {
        return Quor::Common::LZMA::DecompressFile(from, out);
    }
    static HRESULT Decompress(const std::shared_ptr<Quor::API::IBuffer>& in, std::shared_ptr<Quor::API::IBuffer>& out) {
        return Quor::Common::LZMA::Decompress(in, out, 0);
    }
    using Task = Quor::Common::LZMA::DecompressCooperativeTask;
};

struct ZlibHelpers {
    static constexpr const char* kName = "zlib";
    static HRESULT CompressFile(const std::string& from, const std::string& to, DWORD flags) {
        return Quor::Common::ZLibHelper::CompressFile(from, to, flags);
    }
    static HRESULT DecompressFile(const std::string& from, const std::string& to) {
        return Quor::Common::ZLibHelper::DecompressFile(from, to);
    }
    static HRESULT DecompressFile(const std::string& from, std::shared_ptr<Quor::API::IBuffer>& out) {
        return Quor::Common::ZLibHelper::DecompressFile(from, out);
    }
    static HRESULT Decompress(const std::shared_ptr<Quor::API::IBuffer>& in, std::shared_ptr<Quor::API::IBuffer>& out) {
        return Quor::Common::ZLibHelper::Decompress(in, out, 0);
    }
    using Task = Quor::Common::ZLibHelper::DecompressCooperativeTask;
};

std::shared_ptr<Quor::API::IBuffer> BufferOf(const std::string& bytes) {
    auto buffer = std::make_shared<Quor::Common::BufferMalloc>(static_cast<uint32_t>(bytes.size()), nullptr);
    if (!bytes.empty()) std::memcpy(buffer->GetBufferPointer(), bytes.data(), bytes.size());
    return buffer;
}

std::string BytesOf(const std::shared_ptr<Quor::API::IBuffer>& buffer) {
    if (!buffer || buffer->GetBufferSize() == 0) return {};
    return std::string(static_cast<const char*>(buffer->GetBufferPointer()), buffer->GetBufferSize());
}

}  // namespace

template <class Helpers>
class CompressionHelpers : public ::testing::Test {
protected:
    QuorTest::TempDir dir;

    // Every decoding form gives back exactly the original.
    void ExpectRoundTrip(const std::string& plain) {
        QuorTest::WriteFile(dir / "plain", plain);
        ASSERT_EQ(Helpers::CompressFile(dir / "plain", dir / "packed", 0), S_OK);
        ASSERT_EQ(Helpers::DecompressFile(dir / "packed", dir / "unpacked"), S_OK);
        EXPECT_TRUE(QuorTest::ReadFile(dir / "unpacked") == plain);

        std::shared_ptr<Quor::API::IBuffer> out;
        ASSERT_EQ(Helpers::DecompressFile(dir / "packed", out), S_OK);
        ASSERT_TRUE(out);
        EXPECT_EQ(out->GetBufferSize(), plain.size());
        EXPECT_TRUE(BytesOf(out) == plain);

        std::shared_ptr<Quor::API::IBuffer> fromMemory;
        ASSERT_EQ(Helpers::Decompress(BufferOf(QuorTest::ReadFile(dir / "packed")), fromMemory), S_OK);
        ASSERT_TRUE(fromMemory);
        EXPECT_NE(dynamic_cast<Quor::Common::BufferMalloc*>(fromMemory.get()), nullptr);
        EXPECT_EQ(fromMemory->GetBufferSize(), plain.size());
        EXPECT_TRUE(BytesOf(fromMemory) == plain);
    }
};

using HelperTypes = ::testing::Types<LzmaHelpers, ZlibHelpers>;
class HelperNames {
public:
    template <class T>
    static std::string GetName(int) {
        return T::kName;
    }
};
TYPED_TEST_SUITE(CompressionHelpers, HelperTypes, HelperNames);

TYPED_TEST(CompressionHelpers, EmptyAndOneMebibyteRoundTrip) {
    this->ExpectRoundTrip("");
    this->ExpectRoundTrip(QuorTest::RandomBytes(1 << 20, 21));
    this->ExpectRoundTrip(QuorTest::TextBytes(1 << 20, 22));
}

TYPED_TEST(CompressionHelpers, TwentyMebibytesOfRandomBytesRoundTrip) {
    this->ExpectRoundTrip(QuorTest::RandomBytes(20 << 20, 23));
}

TYPED_TEST(CompressionHelpers, TwentyMebibytesOfTextRoundTrip) { this->ExpectRoundTrip(QuorTest::TextBytes(20 << 20, 24)); }

TYPED_TEST(CompressionHelpers, AppendFlagAddsASecondStreamAfterTheFirst) {
    const std::string first = QuorTest::TextBytes(100000, 25);
    const std::string second = QuorTest::RandomBytes(50000, 26);
    QuorTest::WriteFile(this->dir / "first", first);
    QuorTest::WriteFile(this->dir / "second", second);
    ASSERT_EQ(TypeParam::CompressFile(this->dir / "first", this->dir / "packed", 0), S_OK);
    const size_t firstSize = QuorTest::ReadFile(this->dir / "packed").size();
    ASSERT_EQ(TypeParam::CompressFile(this->dir / "second", this->dir / "packed", 1), S_OK);
    const std::string both = QuorTest::ReadFile(this->dir / "packed");
    ASSERT_GT(both.size(), firstSize);

    std::shared_ptr<Quor::API::IBuffer> out;
    ASSERT_EQ(TypeParam::Decompress(BufferOf(both), out), S_OK);  // the first stream
    EXPECT_TRUE(BytesOf(out) == first);
    ASSERT_EQ(TypeParam::Decompress(BufferOf(both.substr(firstSize)), out), S_OK);
    EXPECT_TRUE(BytesOf(out) == second);

    // Without the flag the destination starts over.
    ASSERT_EQ(TypeParam::CompressFile(this->dir / "second", this->dir / "packed", 0), S_OK);
    ASSERT_EQ(TypeParam::DecompressFile(this->dir / "packed", out), S_OK);
    EXPECT_TRUE(BytesOf(out) == second);
}

TYPED_TEST(CompressionHelpers, TruncatedOrEmptyInputFailsAndLeavesThePartialOutput) {
    const std::string plain = QuorTest::RandomBytes(600000, 27);
    QuorTest::WriteFile(this->dir / "plain", plain);
    ASSERT_EQ(TypeParam::CompressFile(this->dir / "plain", this->dir / "packed", 0), S_OK);
    const std::string packed = QuorTest::ReadFile(this->dir / "packed");
    QuorTest::WriteFile(this->dir / "cut", packed.substr(0, packed.size() * 2 / 3));
    QuorTest::WriteFile(this->dir / "empty", "");

    EXPECT_EQ(TypeParam::DecompressFile(this->dir / "cut", this->dir / "partial"), E_FAIL);
    const std::string partial = QuorTest::ReadFile(this->dir / "partial");
    EXPECT_GT(partial.size(), 0u);
    EXPECT_LT(partial.size(), plain.size());
    EXPECT_TRUE(plain.compare(0, partial.size(), partial) == 0);

    std::shared_ptr<Quor::API::IBuffer> out;
    EXPECT_EQ(TypeParam::DecompressFile(this->dir / "cut", out), E_FAIL);
    EXPECT_FALSE(out);  // set only on success
    EXPECT_EQ(TypeParam::Decompress(BufferOf(packed.substr(0, packed.size() / 2)), out), E_FAIL);
    EXPECT_EQ(TypeParam::DecompressFile(this->dir / "empty", out), E_FAIL);
    EXPECT_EQ(TypeParam::Decompress(BufferOf(""), out), E_FAIL);
    EXPECT_EQ(TypeParam::Decompress(nullptr, out), E_FAIL);
    EXPECT_FALSE(out);
}

TYPED_TEST(CompressionHelpers, FilesThatCannotBeOpenedAreFailures) {
    QuorTest::WriteFile(this->dir / "plain", "some bytes");
    std::shared_ptr<Quor::API::IBuffer> out;
    EXPECT_EQ(TypeParam::CompressFile(this->dir / "missing", this->dir / "packed", 0), E_FAIL);
    EXPECT_EQ(TypeParam::CompressFile(this->dir / "plain", this->dir / "no/such/folder/packed", 0), E_FAIL);
    // A destination the system refuses to create.
    QuorTest::FaultInjectingFileSystem faults;
    const size_t refused = faults.Fail(QuorTest::FileCall::OpenForWrite, QuorTest::PathMatch::EndingWith("/taken"), EDQUOT,
                                       QuorTest::FaultInjectingFileSystem::kEvery);
    Vorn::ScopedOsContext os({.files = &faults});
    EXPECT_EQ(TypeParam::CompressFile(this->dir / "plain", this->dir / "taken", 0), E_FAIL);
    ASSERT_EQ(TypeParam::CompressFile(this->dir / "plain", this->dir / "packed", 0), S_OK);
    EXPECT_EQ(TypeParam::DecompressFile(this->dir / "missing", this->dir / "out"), E_FAIL);
    EXPECT_EQ(TypeParam::DecompressFile(this->dir / "packed", this->dir / "taken"), E_FAIL);
    EXPECT_EQ(faults.Failed(refused), 2u);
    EXPECT_FALSE(QuorTest::Exists(this->dir / "taken"));
    EXPECT_EQ(TypeParam::DecompressFile(this->dir / "missing", out), E_FAIL);
    EXPECT_FALSE(out);
}

TYPED_TEST(CompressionHelpers, OutputThatCannotBeFlushedIsAFailure) {
    // /dev/full takes writes into the stream's buffer and fails when it is flushed at the close.
    if (!QuorTest::Exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    QuorTest::WriteFile(this->dir / "plain", "a few bytes");
    ASSERT_EQ(TypeParam::CompressFile(this->dir / "plain", this->dir / "packed", 0), S_OK);
    EXPECT_EQ(TypeParam::CompressFile(this->dir / "plain", "/dev/full", 0), E_FAIL);
    EXPECT_EQ(TypeParam::DecompressFile(this->dir / "packed", "/dev/full"), E_FAIL);
}

TYPED_TEST(CompressionHelpers, CooperativeTasksOnThePoolEndWithTheirResults) {
    const std::string plain = QuorTest::TextBytes(300000, 28);
    QuorTest::WriteFile(this->dir / "plain", plain);
    ASSERT_EQ(TypeParam::CompressFile(this->dir / "plain", this->dir / "packed", 0), S_OK);
    const std::string packed = QuorTest::ReadFile(this->dir / "packed");

    auto pool = Quor::Common::ThreadPool::CreatePool(0, 0);
    typename TypeParam::Task good(BufferOf(packed));
    typename TypeParam::Task bad(BufferOf(packed.substr(0, packed.size() / 3)));
    Quor::Common::ThreadedCooperativeTask goodRunner(good, pool, 65536);
    Quor::Common::ThreadedCooperativeTask badRunner(bad, pool, 65536);
    EXPECT_EQ(goodRunner.WaitUntilComplete(), S_OK);
    EXPECT_EQ(badRunner.WaitUntilComplete(), E_FAIL);
    EXPECT_TRUE(BytesOf(good.GetOutput()) == plain);
    EXPECT_FALSE(bad.GetOutput());
}
