// What only the zlib loops have: their zlib result codes, the growth of the decoded block, the
// size hint, streams that ask for a preset dictionary, trailing bytes, and freadFromMemory.
// (Round trips and the helpers' failures are in CompressionHelpers_test.cpp.)
#include "common/ZLibHelper.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "common/BufferMalloc.h"
#include "tests/kit/TempDir.h"
#include "tests/kit/TestData.h"

namespace Z = Quor::Common::ZLibHelper;

namespace {

constexpr int kOk = 0, kDataError = -3;

// A zlib stream of plain, made with our deflate loop.
std::string Deflate(const std::string& plain) {
    QuorTest::TempDir dir;
    QuorTest::WriteFile(dir / "plain", plain);
    EXPECT_EQ(Z::CompressFile(dir / "plain", dir / "packed", 0), S_OK);
    return QuorTest::ReadFile(dir / "packed");
}

struct Inflated {
    int result;
    std::string bytes;
    size_t capacity;
};

Inflated InflateMemory(const std::string& stream, size_t firstBlock) {
    unsigned char* data = nullptr;
    size_t size = 0, capacity = firstBlock;
    Inflated out;
    out.result = Z::zpipe_inf_from_mem_to_malloc(reinterpret_cast<const unsigned char*>(stream.data()), stream.size(),
                                                 data, size, capacity);
    out.bytes.assign(reinterpret_cast<char*>(data), data ? size : 0);
    out.capacity = capacity;
    std::free(data);
    return out;
}

Inflated InflateFile(const std::string& stream) {
    QuorTest::TempDir dir;
    QuorTest::WriteFile(dir / "packed", stream);
    FILE* source = fopen((dir / "packed").c_str(), "rb");
    unsigned char* data = nullptr;
    size_t size = 0, capacity = 0;
    Inflated out;
    out.result = Z::zpipe_inf_to_malloc(source, data, size, capacity);
    fclose(source);
    out.bytes.assign(reinterpret_cast<char*>(data), data ? size : 0);
    out.capacity = capacity;
    std::free(data);
    return out;
}

}  // namespace

TEST(ZLibHelper, LoopResultsForEmptyDictionaryTruncatedAndTrailingInput) {
    const std::string plain = QuorTest::TextBytes(100000, 41);
    const std::string stream = Deflate(plain);
    // 0x78 0xBB: a valid header with the preset-dictionary flag, then a dictionary id.
    const std::string needsDictionary("\x78\xBB\x00\x00\x00\x01\x4B\x04\x00", 9);
    const struct {
        const char* name;
        std::string input;
        int result;
    } cases[] = {
        {"empty", "", kDataError},
        {"preset dictionary", needsDictionary, kDataError},
        {"truncated", stream.substr(0, stream.size() - 5), kDataError},
        {"not zlib", "plain text, not a zlib stream", kDataError},
        {"trailing bytes ignored", stream + "trailing garbage", kOk},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Inflated memory = InflateMemory(c.input, 0);
        const Inflated file = InflateFile(c.input);
        EXPECT_EQ(memory.result, c.result);
        EXPECT_EQ(file.result, c.result);
        if (c.result == kOk) {
            EXPECT_TRUE(memory.bytes == plain);
            EXPECT_TRUE(file.bytes == plain);
        }
        // Whatever came out is a prefix of the original.
        EXPECT_TRUE(plain.compare(0, memory.bytes.size(), memory.bytes) == 0);
    }
}

TEST(ZLibHelper, BlockGrowthAndSizeHint) {
    const std::string plain = QuorTest::TextBytes(20000, 42);
    const std::string stream = Deflate(plain);
    // Hint 0: the first block has the first piece's size (16384), then it doubles.
    EXPECT_EQ(InflateMemory(stream, 0).capacity, 32768u);
    // The decoded size as hint: one block of exactly that size, never grown.
    const Inflated exact = InflateMemory(stream, plain.size());
    EXPECT_EQ(exact.result, kOk);
    EXPECT_EQ(exact.capacity, plain.size());
    EXPECT_TRUE(exact.bytes == plain);
    // A small output with hint 0: exactly its size.
    EXPECT_EQ(InflateMemory(Deflate("tiny"), 0).capacity, 4u);
    // From a file: 16384 to start, doubled as needed.
    EXPECT_EQ(InflateFile(stream).capacity, 32768u);

    // Through the helper, the hint gives a buffer of the decoded size.
    auto input = std::make_shared<Quor::Common::BufferMalloc>(static_cast<uint32_t>(stream.size()), nullptr);
    std::memcpy(input->GetBufferPointer(), stream.data(), stream.size());
    std::shared_ptr<Quor::API::IBuffer> out;
    ASSERT_EQ(Z::Decompress(input, out, static_cast<DWORD>(plain.size())), S_OK);
    EXPECT_EQ(out->GetBufferSize(), plain.size());
}

// A bound on the output (a stored file's manifest size) holds against a stream that inflates far
// past it: the loop fails as soon as the stream passes the bound, and the block never grows past
// it, whatever the first block was asked to be.
TEST(ZLibHelper, BoundedInflateFailsPastTheLimitWithoutGrowingPastIt) {
    const std::string plain(4u << 20, 'x');  // 4 MiB from a stream of a few KiB
    const std::string stream = Deflate(plain);
    const struct {
        const char* name;
        size_t firstBlock;
        size_t limit;
        int result;
    } cases[] = {
        {"first block at the limit", 4096, 4096, kDataError},
        {"first block above the limit", 1u << 30, 4096, kDataError},
        {"no first block", 0, 50000, kDataError},
        {"limit one byte short", plain.size(), plain.size() - 1, kDataError},
        {"limit exact", plain.size(), plain.size(), kOk},
        {"limit above", 0, plain.size() + 1, kOk},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        unsigned char* data = nullptr;
        size_t size = 0, capacity = c.firstBlock;
        const int result = Z::zpipe_inf_from_mem_to_malloc(reinterpret_cast<const unsigned char*>(stream.data()),
                                                           stream.size(), data, size, capacity, c.limit);
        EXPECT_EQ(result, c.result);
        EXPECT_LE(capacity, c.limit);
        EXPECT_LE(size, capacity);
        if (c.result == kOk) {
            EXPECT_EQ(size, plain.size());
        }
        std::free(data);
    }

    // Through the helper: exactly the stated size or a failure, never another buffer.
    auto input = std::make_shared<Quor::Common::BufferMalloc>(static_cast<uint32_t>(stream.size()), nullptr);
    std::memcpy(input->GetBufferPointer(), stream.data(), stream.size());
    for (const DWORD size : {DWORD(4096), static_cast<DWORD>(plain.size() + 1), static_cast<DWORD>(plain.size())}) {
        SCOPED_TRACE(size);
        std::shared_ptr<Quor::API::IBuffer> out;
        const HRESULT hr = Z::DecompressToSize(input, out, size);
        if (size == plain.size()) {
            ASSERT_EQ(hr, S_OK);
            ASSERT_TRUE(out);
            EXPECT_EQ(out->GetBufferSize(), plain.size());
        } else {
            EXPECT_EQ(hr, E_FAIL);
            EXPECT_FALSE(out);
        }
    }
}

// Inflating into a file with a bound: a stream that decodes to more fails with no more than the
// bound written.
TEST(ZLibHelper, InflatingIntoAFileStopsAtItsBound) {
    QuorTest::TempDir dir;
    const std::string plain = QuorTest::TextBytes(200000, 33);
    QuorTest::WriteFile(dir / "packed", Deflate(plain));
    for (const uint64_t bound : {uint64_t{plain.size()}, uint64_t{plain.size() - 1}, uint64_t{1000}, uint64_t{0}}) {
        const HRESULT hr = Z::DecompressFile(dir / "packed", dir / "out", bound);
        const std::string out = QuorTest::ReadFile(dir / "out");
        EXPECT_EQ(bound >= plain.size() ? S_OK : E_FAIL, hr) << "bound " << bound;
        EXPECT_LE(out.size(), bound) << "bound " << bound;
        if (SUCCEEDED(hr)) {
            EXPECT_TRUE(out == plain);
        }
    }
}

TEST(ZLibHelper, FreadFromMemoryCopiesWholeItemsWithoutMoving) {
    const unsigned char source[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    unsigned char out[10] = {};
    EXPECT_EQ(Z::freadFromMemory(out, 1, 4, source, 10, 3), 4u);
    EXPECT_EQ(out[0], 3);
    EXPECT_EQ(out[3], 6);
    EXPECT_EQ(Z::freadFromMemory(out, 4, 5, source, 10, 1), 2u);  // 9 bytes left: two whole items
    EXPECT_EQ(Z::freadFromMemory(out, 1, 5, source, 10, 10), 0u);  // at the end
    EXPECT_EQ(Z::freadFromMemory(out, 1, 5, source, 10, 11), 0u);  // past the end
    EXPECT_EQ(Z::freadFromMemory(out, 0, 5, source, 10, 0), 0u);   // no item size
}
