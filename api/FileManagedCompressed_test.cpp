// A file stored compressed decodes to exactly the size its release manifest states, whichever way
// the client reads it (OpenFile with GetSize and Read, or an asynchronous load): a stream that
// inflates past that size or stops short of it is refused, and no buffer of another size is ever
// handed out.
#include "api/FileManagedCompressed.h"

#include <gtest/gtest.h>

#include <optional>

#include "api/IAsyncLoadFile.h"
#include "foundation/ByteOrder.h"
#include "tests/api/GameRelease.h"
#include "tests/kit/TestData.h"

namespace Quor::API::Impl {
namespace {

using QuorTest::Flags;

constexpr DWORD kRelease = 0x01000000;
constexpr DWORD kStated = 4096;  // what the manifest says of each file below
constexpr DWORD kZlibArchived = Flags::FLAG_ARCHIVED | Flags::FLAG_STORED_COMPRESSED | Flags::FLAG_ZLIB;
constexpr DWORD kLzmaArchived = Flags::FLAG_ARCHIVED | Flags::FLAG_STORED_COMPRESSED | Flags::FLAG_LZMA;
constexpr DWORD kZlibManaged = Flags::FLAG_MANAGED | Flags::FLAG_STORED_COMPRESSED | Flags::FLAG_ZLIB;
constexpr DWORD kLzmaManaged = Flags::FLAG_MANAGED | Flags::FLAG_STORED_COMPRESSED | Flags::FLAG_LZMA;

class StoredSizeTest : public QuorTest::GameRelease {
protected:
    // The container with its size field replaced (all ones: unknown).
    std::string WithLzmaSizeField(const std::string& plain, uint64_t size) {
        std::string packed = tree.Compress(plain, Flags::FLAG_LZMA);
        EXPECT_GE(packed.size(), 9u);
        Vorn::Bytes::StoreLE64(reinterpret_cast<uint8_t*>(packed.data()) + 1, size);
        return packed;
    }
};

TEST_F(StoredSizeTest, StreamsDecodeToExactlyTheManifestSizeOrFailEveryWay) {
    // Compresses to almost nothing: a small stored file that inflates to 1 MiB.
    const std::string big(1u << 20, 'x');
    const std::string exact = QuorTest::RandomBytes(kStated, 11);
    const std::string shorter = QuorTest::RandomBytes(kStated - 96, 12);
    struct Case {
        std::string name;
        DWORD flags;
        std::string content;                // what the stored stream decodes to
        std::optional<std::string> stored;  // stored bytes given as they are
        std::optional<std::string> read;    // what the client reads; none: every read fails
    };
    const Case cases[] = {
        {"zlib/exact", kZlibArchived, exact, {}, exact},
        {"zlib/longer", kZlibArchived, big, {}, {}},
        {"zlib/shorter", kZlibArchived, shorter, {}, {}},
        {"zlib/managed-longer", kZlibManaged, big, {}, {}},
        {"lzma/exact", kLzmaArchived, exact, {}, exact},
        {"lzma/longer", kLzmaArchived, big, {}, {}},
        {"lzma/shorter", kLzmaArchived, shorter, {}, {}},
        {"lzma/managed-longer", kLzmaManaged, big, {}, {}},
        // The container's own size field unknown: the manifest still bounds the stream.
        {"lzma/unknown-longer", kLzmaArchived, big, WithLzmaSizeField(big, ~uint64_t(0)), {}},
        {"lzma/unknown-exact", kLzmaArchived, exact, WithLzmaSizeField(exact, ~uint64_t(0)), exact},
        // A container that states the manifest's size decodes that much, whatever follows.
        {"lzma/stated-cut", kLzmaArchived, big, WithLzmaSizeField(big, kStated), big.substr(0, kStated)},
    };
    std::vector<QuorTest::TreeFile> files;
    for (const Case& c : cases) files.push_back({c.name, c.flags, c.content, 0, kStated, c.stored});
    tree.AddProject("sized", kRelease, files);
    const auto inSized = tree.Enter(tree.ProjectRelease("sized", kRelease) + "/deploy");
    std::shared_ptr<IMain> sized;
    ASSERT_EQ(CreateMain(sized), S_OK);

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::shared_ptr<IFile> file;
        const HRESULT opened = sized->OpenFile(c.name, FILE_TYPE_BINARY, file);
        const auto load = sized->CreateAsyncLoadFile(c.name);
        load->WaitUntilComplete();
        const auto result = load->GetAutoLockResult();
        const std::shared_ptr<IBuffer> buffer = result->GetBuffer();
        if (!c.read) {
            EXPECT_TRUE(FAILED(opened)) << "OpenFile gave " << opened;
            EXPECT_FALSE(file) << "a file of " << (file ? file->GetSize() : 0) << " bytes";
            EXPECT_TRUE(FAILED(result->GetHResult())) << "the asynchronous load gave " << result->GetHResult();
            EXPECT_FALSE(buffer) << "a buffer of " << (buffer ? buffer->GetBufferSize() : 0) << " bytes";
            continue;
        }
        ASSERT_EQ(opened, S_OK);
        ASSERT_TRUE(file);
        EXPECT_EQ(file->GetSize(), kStated);
        std::string read(kStated, '\0');
        size_t count = 0;
        EXPECT_EQ(file->Read(read.data(), 1, kStated, count), S_OK);
        EXPECT_EQ(count, kStated);
        EXPECT_TRUE(read == *c.read) << "OpenFile read other bytes";
        EXPECT_TRUE(file->IsEndOfFile());
        ASSERT_EQ(result->GetHResult(), S_OK);
        ASSERT_TRUE(buffer);
        ASSERT_EQ(buffer->GetBufferSize(), kStated);
        EXPECT_TRUE(std::string(static_cast<const char*>(buffer->GetBufferPointer()), kStated) == *c.read)
            << "the asynchronous load read other bytes";
    }
}

}  // namespace
}  // namespace Quor::API::Impl
