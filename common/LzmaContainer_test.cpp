// The LZMA2 container codec: round trips, the header, bounds against the stated size, truncated
// and corrupt input, and interchange with xz's and Python's raw LZMA2 coders.
#include "common/LzmaContainer.h"

#include <gtest/gtest.h>

#include <string>

#include "common/LzmaAdapters.h"
#include "common/LzmaStream.h"
#include "foundation/ByteOrder.h"
#include "tests/kit/RunCommand.h"
#include "tests/kit/TempDir.h"
#include "tests/kit/TestData.h"

namespace LC = Quor::Common::LzmaContainer;
using Quor::Common::LzmaStream;

namespace {

std::string EncodeBytes(const std::string& plain, uint64_t size) {
    LC::MemoryReader reader(plain.data(), plain.size());
    LC::HeapWriter writer;
    EXPECT_EQ(LC::Encode(reader, size, writer), LC::kOk);
    const size_t written = writer.Size();
    char* data = static_cast<char*>(writer.Release());
    std::string container(data ? data : "", written);
    free(data);
    return container;
}

std::string EncodeBytes(const std::string& plain) { return EncodeBytes(plain, plain.size()); }

struct Decoded {
    int result;
    std::string bytes;
    uint64_t decodedSize;
};

Decoded DecodeBytes(const std::string& container) {
    LC::MemoryReader reader(container.data(), container.size());
    LC::HeapWriter writer;
    Decoded out{};
    out.result = LC::Decode(reader, &writer, &out.decodedSize);
    const size_t size = writer.Size();
    char* data = static_cast<char*>(writer.Release());
    out.bytes.assign(data ? data : "", size);
    free(data);
    return out;
}

std::string WithSize(std::string container, uint64_t size) {
    Vorn::Bytes::StoreLE64(&container[1], size);
    return container;
}

}  // namespace

TEST(LzmaContainer, RoundTripsKeepEveryByteAndStateTheSize) {
    struct Case {
        const char* name;
        std::string plain;
    };
    const Case cases[] = {
        {"empty", ""},
        {"one byte", "x"},
        {"random 70000", QuorTest::RandomBytes(70000, 7)},
        {"random 1 MiB", QuorTest::RandomBytes(1 << 20, 8)},
        {"text 1 MiB", QuorTest::TextBytes(1 << 20, 9)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string container = EncodeBytes(c.plain);
        ASSERT_GE(container.size(), LC::kHeaderSize + 1);
        EXPECT_EQ(Vorn::Bytes::LoadLE64(container.data() + 1), c.plain.size());
        EXPECT_NE(LzmaStream::DictionarySize(static_cast<uint8_t>(container[0])), 0u);
        const Decoded decoded = DecodeBytes(container);
        EXPECT_EQ(decoded.result, LC::kOk);
        EXPECT_EQ(decoded.decodedSize, c.plain.size());
        EXPECT_TRUE(decoded.bytes == c.plain);
    }
}

TEST(LzmaContainer, EmptyInputIsTheHeaderAndTheEndMarker) {
    const std::string container = EncodeBytes("");
    ASSERT_EQ(container.size(), LC::kHeaderSize + 1);
    EXPECT_EQ(container.back(), '\0');  // the LZMA2 end marker
    // Also with the size unknown, the end marker ends the stream.
    const Decoded decoded = DecodeBytes(WithSize(container, LC::kUnknownSize));
    EXPECT_EQ(decoded.result, LC::kOk);
    EXPECT_EQ(decoded.decodedSize, 0u);
}

TEST(LzmaContainer, UnknownSizeDecodesUpToTheEndMarkerAndIgnoresWhatFollows) {
    const std::string plain = QuorTest::TextBytes(300000, 3);
    const std::string container = WithSize(EncodeBytes(plain), LC::kUnknownSize) + "trailing bytes";
    const Decoded decoded = DecodeBytes(container);
    EXPECT_EQ(decoded.result, LC::kOk);
    EXPECT_TRUE(decoded.bytes == plain);
}

TEST(LzmaContainer, DecodingIsBoundedByTheStatedSize) {
    const std::string plain = QuorTest::TextBytes(200000, 4);
    const std::string container = EncodeBytes(plain);

    // A smaller stated size stops the decoder there: exactly that many bytes come out.
    Decoded shorter = DecodeBytes(WithSize(container, 1000));
    EXPECT_EQ(shorter.result, LC::kOk);
    EXPECT_TRUE(shorter.bytes == plain.substr(0, 1000));

    // A stream that ends (end marker) before the stated size is a data error, not a success.
    Decoded longer = DecodeBytes(WithSize(container, plain.size() + 1));
    EXPECT_EQ(longer.result, LC::kDataError);
    EXPECT_EQ(longer.decodedSize, plain.size());
}

// A bound from outside (a stored file's manifest size) holds whatever the header says: a stated
// size above it fails before decoding, a stream of unknown size fails once it passes the bound,
// and nothing past the bound reaches the writer (whose block, reserved at the bound, never grows).
TEST(LzmaContainer, AnOutsideLimitBoundsTheOutputWhateverTheHeaderSays) {
    const std::string plain(4u << 20, 'x');  // 4 MiB from a container of a few KiB
    const std::string container = EncodeBytes(plain);
    const struct {
        const char* name;
        uint64_t stated;
        uint64_t limit;
        int result;
        uint64_t decoded;  // what reached the writer (on failure: at most this)
    } cases[] = {
        {"stated above the limit", plain.size(), 4096, LC::kDataError, 0},
        {"unknown size, stream past the limit", LC::kUnknownSize, 4096, LC::kDataError, 4096},
        {"unknown size, limit one byte short", LC::kUnknownSize, plain.size() - 1, LC::kDataError, plain.size() - 1},
        {"unknown size, limit exact", LC::kUnknownSize, plain.size(), LC::kOk, plain.size()},
        {"stated at the limit, stream longer", 4096, 4096, LC::kOk, 4096},
        {"stated below the limit", 1000, 4096, LC::kOk, 1000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string input = WithSize(container, c.stated);
        LC::MemoryReader reader(input.data(), input.size());
        LC::HeapWriter writer;
        ASSERT_TRUE(writer.Reserve(static_cast<size_t>(c.limit)));
        uint64_t decoded = 0;
        EXPECT_EQ(LC::Decode(reader, &writer, &decoded, c.limit), c.result);
        EXPECT_LE(decoded, c.limit);
        if (c.result == LC::kOk) {
            EXPECT_EQ(writer.Size(), c.decoded);
        } else {
            EXPECT_LE(writer.Size(), c.decoded);
        }
        EXPECT_EQ(writer.Capacity(), c.limit);
        free(writer.Release());
    }
}

TEST(LzmaContainer, TruncatedOrCorruptInputIsADataError) {
    const std::string plain = QuorTest::RandomBytes(300000, 5);
    const std::string container = EncodeBytes(plain);
    std::string badControl = container;
    badControl[LC::kHeaderSize] = 0x05;  // not a valid LZMA2 chunk control byte
    std::string badProperty = container;
    badProperty[0] = 41;  // property bytes stop at 40

    struct Case {
        const char* name;
        std::string input;
        int expected;
    };
    const Case cases[] = {
        {"nothing", "", LC::kDataError},
        {"shorter than the header", container.substr(0, 8), LC::kDataError},
        {"header only", container.substr(0, LC::kHeaderSize), LC::kDataError},
        {"cut inside the stream", container.substr(0, container.size() / 2), LC::kDataError},
        // With the size known, decoding ends once that many bytes came out.
        {"end marker missing, size known", container.substr(0, container.size() - 1), LC::kOk},
        {"end marker missing, size unknown", WithSize(container.substr(0, container.size() - 1), LC::kUnknownSize),
         LC::kDataError},
        {"bad chunk control", badControl, LC::kDataError},
        {"bad property byte", badProperty, LC::kUnsupported},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Decoded decoded = DecodeBytes(c.input);
        EXPECT_EQ(decoded.result, c.expected);
        // Whatever came out before the failure is a prefix of the original.
        EXPECT_TRUE(plain.compare(0, decoded.bytes.size(), decoded.bytes) == 0);
    }
    // The decoder's dictionary is kept to the stated size: a property byte asking for the largest
    // dictionary (4 GiB) on a small stream decodes without such an allocation.
    std::string hugeDictionary = EncodeBytes("small");
    hugeDictionary[0] = 40;
    const Decoded small = DecodeBytes(hugeDictionary);
    EXPECT_EQ(small.result, LC::kOk);
    EXPECT_EQ(small.bytes, "small");

    // A cut in the middle still delivered what could be decoded before it.
    EXPECT_GT(DecodeBytes(container.substr(0, container.size() / 2)).bytes.size(), 0u);
}

TEST(LzmaContainer, FailingReaderOrWriterEndsTheLoops) {
    struct FailingReader final : LC::IByteReader {
        int Read(void*, size_t&) override { return LC::kReadError; }
    } failingReader;
    struct FullWriter final : LC::IByteWriter {
        size_t left;
        explicit FullWriter(size_t n) : left(n) {}
        size_t Write(const void*, size_t size) override {
            size_t taken = size < left ? size : left;
            left -= taken;
            return taken;
        }
    };
    LC::HeapWriter sink;
    EXPECT_EQ(LC::Encode(failingReader, 10, sink), LC::kReadError);
    EXPECT_EQ(LC::Decode(failingReader, nullptr), LC::kReadError);

    const std::string plain = QuorTest::TextBytes(100000, 6);
    LC::MemoryReader reader(plain.data(), plain.size());
    FullWriter headerOnly(5);
    EXPECT_EQ(LC::Encode(reader, plain.size(), headerOnly), LC::kWriteError);

    const std::string container = EncodeBytes(plain);
    LC::MemoryReader containerReader(container.data(), container.size());
    FullWriter small(1000);
    EXPECT_EQ(LC::Decode(containerReader, &small), LC::kWriteError);
}

TEST(LzmaContainer, EncodingFailsWhenTheSourceDoesNotHaveTheStatedSize) {
    const std::string plain = QuorTest::TextBytes(5000, 2);
    LC::MemoryReader reader(plain.data(), plain.size());
    LC::HeapWriter writer;
    EXPECT_EQ(LC::Encode(reader, plain.size() + 1, writer), LC::kDataError);
}

TEST(LzmaContainer, HeapWriterStartsWithTheFirstWriteAndDoubles) {
    LC::HeapWriter writer;
    const std::string bytes(1000, 'a');
    EXPECT_EQ(writer.Write(bytes.data(), 100), 100u);
    EXPECT_EQ(writer.Capacity(), 100u);
    EXPECT_EQ(writer.Write(bytes.data(), 150), 150u);
    EXPECT_EQ(writer.Capacity(), 400u);
    EXPECT_EQ(writer.Size(), 250u);
    free(writer.Release());
    EXPECT_EQ(writer.Size(), 0u);
}

// Interchange with the outside coders: the stream after the 9-byte header is a plain raw LZMA2
// stream with the dictionary of the property byte.
class LzmaContainerInterchange : public ::testing::Test {
protected:
    QuorTest::TempDir dir;
    const std::string plain = QuorTest::TextBytes(400000, 11) + QuorTest::RandomBytes(100000, 12);

    std::string Dictionary(const std::string& container) {
        return std::to_string(LzmaStream::DictionarySize(static_cast<uint8_t>(container[0])));
    }
};

TEST_F(LzmaContainerInterchange, XzReadsOursAndWeReadXz) {
    if (!QuorTest::HasCommand("xz")) GTEST_SKIP() << "xz is not installed";
    const std::string container = EncodeBytes(plain);
    QuorTest::WriteFile(dir / "ours.raw", container.substr(LC::kHeaderSize));
    ASSERT_EQ(QuorTest::RunCommand("xz --format=raw --lzma2=dict=" + Dictionary(container) + " -dc " +
                                   QuorTest::ShellQuote(dir / "ours.raw") + " > " + QuorTest::ShellQuote(dir / "ours.out")),
              0);
    EXPECT_TRUE(QuorTest::ReadFile(dir / "ours.out") == plain);

    QuorTest::WriteFile(dir / "plain", plain);
    ASSERT_EQ(QuorTest::RunCommand("xz --format=raw --lzma2=dict=8MiB -c " + QuorTest::ShellQuote(dir / "plain") + " > " +
                                   QuorTest::ShellQuote(dir / "theirs.raw")),
              0);
    // 8 MiB is property byte 22.
    std::string header(LC::kHeaderSize, '\0');
    header[0] = 22;
    Vorn::Bytes::StoreLE64(&header[1], plain.size());
    const std::string theirs = QuorTest::ReadFile(dir / "theirs.raw");
    Decoded decoded = DecodeBytes(header + theirs);
    EXPECT_EQ(decoded.result, LC::kOk);
    EXPECT_TRUE(decoded.bytes == plain);
    decoded = DecodeBytes(WithSize(header, LC::kUnknownSize) + theirs);
    EXPECT_EQ(decoded.result, LC::kOk);
    EXPECT_TRUE(decoded.bytes == plain);
}

TEST_F(LzmaContainerInterchange, PythonReadsOursAndWeReadPython) {
    if (QuorTest::RunCommand("python3 -c 'import lzma' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "python3 with its lzma module is not available";
    const std::string container = EncodeBytes(plain);
    QuorTest::WriteFile(dir / "ours.lzma2", container);
    QuorTest::WriteFile(dir / "plain", plain);
    // Decodes our container: raw LZMA2 with the dictionary of the property byte.
    const std::string script =
        "import lzma, struct, sys\n"
        "data = open(sys.argv[1], 'rb').read()\n"
        "prop = data[0]\n"
        "dict_size = (2 | (prop & 1)) << (prop // 2 + 11)\n"
        "size = struct.unpack('<Q', data[1:9])[0]\n"
        "out = lzma.decompress(data[9:], format=lzma.FORMAT_RAW,\n"
        "                      filters=[{'id': lzma.FILTER_LZMA2, 'dict_size': dict_size}])\n"
        "assert len(out) == size, (len(out), size)\n"
        "open(sys.argv[2], 'wb').write(out)\n"
        // Writes a container of its own: 16 MiB dictionary (property byte 24), size stated.
        "plain = open(sys.argv[3], 'rb').read()\n"
        "stream = lzma.compress(plain, format=lzma.FORMAT_RAW,\n"
        "                       filters=[{'id': lzma.FILTER_LZMA2, 'dict_size': 16 << 20}])\n"
        "open(sys.argv[4], 'wb').write(bytes([24]) + struct.pack('<Q', len(plain)) + stream)\n";
    QuorTest::WriteFile(dir / "check.py", script);
    ASSERT_EQ(QuorTest::RunCommand("python3 " + QuorTest::ShellQuote(dir / "check.py") + " " +
                                   QuorTest::ShellQuote(dir / "ours.lzma2") + " " + QuorTest::ShellQuote(dir / "ours.out") +
                                   " " + QuorTest::ShellQuote(dir / "plain") + " " + QuorTest::ShellQuote(dir / "theirs.lzma2")),
              0);
    EXPECT_TRUE(QuorTest::ReadFile(dir / "ours.out") == plain);
    const Decoded decoded = DecodeBytes(QuorTest::ReadFile(dir / "theirs.lzma2"));
    EXPECT_EQ(decoded.result, LC::kOk);
    EXPECT_TRUE(decoded.bytes == plain);
}
