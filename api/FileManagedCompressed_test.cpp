// A file stored compressed decodes to exactly the size its release manifest states, whichever way
// the client reads it (OpenFile with GetSize and Read, or an asynchronous load): a stream that
// inflates past that size or stops short of it is refused, and no buffer of another size is ever
// handed out. Reads of every shape give the file's bytes, and nothing past what they report.
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
        const HRESULT opened = c.read ? sized->OpenFile(c.name, FILE_TYPE_BINARY, file) : E_FAIL;
        const auto load = sized->CreateAsyncLoadFile(c.name);
        load->WaitUntilComplete();
        const auto result = load->GetAutoLockResult();
        const std::shared_ptr<IBuffer> buffer = result->GetBuffer();
        if (!c.read) {
            // Text mode decodes at the open; binary mode at the first read, straight into the
            // caller's buffer (the whole file) or into the file's own (a part): either read fails
            // with nothing read, and so does every later one.
            std::shared_ptr<IFile> text;
            EXPECT_TRUE(FAILED(sized->OpenFile(c.name, FILE_TYPE_TEXT, text))) << "the text open succeeded";
            EXPECT_FALSE(text);
            for (const size_t first : {size_t(kStated), size_t(1)}) {
                SCOPED_TRACE("first read of " + std::to_string(first) + " bytes");
                std::shared_ptr<IFile> binary;
                if (FAILED(sized->OpenFile(c.name, FILE_TYPE_BINARY, binary))) continue;
                std::string read(kStated, '\0');
                size_t count = 1;
                EXPECT_TRUE(FAILED(binary->Read(read.data(), 1, first, count)));
                EXPECT_EQ(count, 0u);
                EXPECT_TRUE(FAILED(binary->Read(read.data(), 1, 1, count)));
                EXPECT_EQ(count, 0u);
                EXPECT_EQ(binary->GetSize(), 0u) << "a damaged file keeps a size";
            }
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

TEST_F(StoredSizeTest, ReadsOfEveryShapeGiveTheFileBytesAndNothingPastThem) {
    const std::string plain = QuorTest::RandomBytes(100003, 21);  // no multiple of 4
    const std::string kinds[] = {"zlib", "lzma", "zlib-managed", "lzma-managed"};
    tree.AddProject("shapes", kRelease,
                    {{"zlib", kZlibArchived, plain}, {"lzma", kLzmaArchived, plain},
                     {"zlib-managed", kZlibManaged, plain}, {"lzma-managed", kLzmaManaged, plain}});
    const auto inShapes = tree.Enter(tree.ProjectRelease("shapes", kRelease) + "/deploy");
    std::shared_ptr<IMain> shapes;
    ASSERT_EQ(CreateMain(shapes), S_OK);
    const size_t size = plain.size();

    // Each step reads count elements of elementSize bytes after an optional seek; the buffer is
    // bigger than the read, and what lies past the reported elements must stay untouched.
    struct Step {
        int32_t seek;  // from the start; -1: no seek
        size_t elementSize, count;
        HRESULT hr;
        size_t elements;  // reported
        size_t from;      // file offset of the first byte read
    };
    struct Shape {
        const char* name;
        std::vector<Step> steps;
    };
    const Shape shapesOfReads[] = {
        {"whole, then at the end, then whole again",
         {{-1, 1, size, S_OK, size, 0}, {-1, 1, 1, E_FAIL, 0, 0}, {0, 1, size, S_OK, size, 0}}},
        {"part, then the rest", {{-1, 1, 1000, S_OK, 1000, 0}, {-1, 1, size - 1000, S_OK, size - 1000, 1000}}},
        {"part, then across the end",
         {{-1, 1, 7, S_OK, 7, 0}, {-1, 1, size, E_FAIL, size - 7, 7}, {-1, 1, 1, E_FAIL, 0, 0}}},
        {"across the end from the start", {{-1, 1, size + 10, E_FAIL, size, 0}}},
        {"whole elements of 4 across the end", {{-1, 4, size / 4 + 1, E_FAIL, size / 4, 0}}},
        {"the rest after a seek", {{500, 1, size - 500, S_OK, size - 500, 500}}},
        {"elements of 1000 bytes, the last one short",
         {{-1, 1000, 100, S_OK, 100, 0}, {-1, 1000, 1, E_FAIL, 0, 100000}}},
        {"back to the start after the end", {{-1, 1, size, S_OK, size, 0}, {0, 1, 10, S_OK, 10, 0}}},
    };
    for (const std::string& kind : kinds) {
        for (const Shape& shape : shapesOfReads) {
            SCOPED_TRACE(kind + ": " + shape.name);
            std::shared_ptr<IFile> file;
            ASSERT_EQ(shapes->OpenFile(kind, FILE_TYPE_BINARY, file), S_OK);
            ASSERT_EQ(file->GetSize(), size);
            for (size_t i = 0; i < shape.steps.size(); ++i) {
                const Step& step = shape.steps[i];
                SCOPED_TRACE("step " + std::to_string(i + 1));
                if (step.seek >= 0) {
                    ASSERT_EQ(file->Seek(step.seek, IFile::SEEK_ORIGIN_SET), S_OK);
                }
                const size_t room = step.elementSize * step.count;
                std::string buffer(room + 64, '\x5a');
                size_t elements = 12345;
                EXPECT_EQ(file->Read(buffer.data(), step.elementSize, step.count, elements), step.hr);
                ASSERT_EQ(elements, step.elements);
                const size_t bytes = elements * step.elementSize;
                EXPECT_TRUE(buffer.compare(0, bytes, plain, step.from, bytes) == 0) << "other bytes read";
                EXPECT_EQ(buffer.find_first_not_of('\x5a', bytes), std::string::npos)
                    << "written past the elements reported";
            }
        }
    }
}

}  // namespace
}  // namespace Quor::API::Impl
