// Decoding a compressed file into a writer against the size the caller expects: both codecs, the
// exact size, streams that decode to more or fewer bytes, and damaged or missing sources.
#include "common/StreamDecode.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "common/LZMA.h"
#include "common/ZLibHelper.h"
#include "foundation/ByteOrder.h"
#include "tests/kit/TempDir.h"
#include "tests/kit/TestData.h"

namespace Quor::Common::StreamDecode {
void PrintTo(Codec codec, std::ostream* out) { *out << (codec == Codec::kZlib ? "zlib" : "lzma2"); }
}  // namespace Quor::Common::StreamDecode

namespace {

using Quor::Common::StreamDecode::Codec;
using Quor::Common::StreamDecode::DecodeFile;

// Keeps what it is given, and refuses everything once `refuseAfter` bytes were taken.
class Collect final : public Quor::Common::LzmaContainer::IByteWriter {
public:
    explicit Collect(size_t refuseAfter = SIZE_MAX) : m_RefuseAfter(refuseAfter) {}
    size_t Write(const void* data, size_t size) override {
        if (bytes.size() + size > m_RefuseAfter) return 0;
        bytes.append(static_cast<const char*>(data), size);
        return size;
    }
    std::string bytes;

private:
    size_t m_RefuseAfter;
};

class StreamDecodeTest : public ::testing::TestWithParam<Codec> {
protected:
    // The plain bytes packed with the codec into a file; its path.
    std::string Pack(const std::string& plain) {
        QuorTest::WriteFile(dir / "plain", plain);
        const HRESULT hr = GetParam() == Codec::kZlib
                               ? Quor::Common::ZLibHelper::CompressFile(dir / "plain", dir / "packed", 0)
                               : Quor::Common::LZMA::CompressFile(dir / "plain", dir / "packed", 0);
        EXPECT_EQ(S_OK, hr);
        return dir / "packed";
    }
    QuorTest::TempDir dir;
};

TEST_P(StreamDecodeTest, GivesExactlyTheExpectedBytes) {
    // Larger than one step of the decoder, and empty.
    for (const std::string& plain : {QuorTest::TextBytes(1100000, 7), std::string()}) {
        const std::string packed = Pack(plain);
        Collect out;
        EXPECT_EQ(S_OK, DecodeFile(packed, GetParam(), plain.size(), out));
        EXPECT_TRUE(out.bytes == plain) << out.bytes.size() << " of " << plain.size() << " bytes";
    }
}

TEST_P(StreamDecodeTest, AnotherSizeFailsAndNothingPastTheSizeIsWritten) {
    const std::string plain = QuorTest::TextBytes(700000, 3);
    const std::string packed = Pack(plain);
    Collect longer;
    EXPECT_EQ(E_FAIL, DecodeFile(packed, GetParam(), plain.size() + 1, longer));
    for (const size_t size : {size_t{0}, size_t{1000}, plain.size() - 1}) {
        Collect shorter;
        EXPECT_EQ(E_FAIL, DecodeFile(packed, GetParam(), size, shorter)) << size;
        EXPECT_LE(shorter.bytes.size(), size);
    }
}

TEST_P(StreamDecodeTest, DamagedMissingOrRefusedFails) {
    const std::string plain = QuorTest::TextBytes(300000, 5);
    std::string packed = QuorTest::ReadFile(Pack(plain));
    const struct {
        const char* name;
        std::string bytes;
    } sources[] = {
        {"truncated", packed.substr(0, packed.size() / 2)},
        {"corrupt", packed.substr(0, 20) + std::string(packed.size() - 20, '\x55')},
        {"empty", ""},
    };
    for (const auto& source : sources) {
        QuorTest::WriteFile(dir / source.name, source.bytes);
        Collect out;
        EXPECT_EQ(E_FAIL, DecodeFile(dir / source.name, GetParam(), plain.size(), out)) << source.name;
    }
    Collect out;
    EXPECT_EQ(E_FAIL, DecodeFile(dir / "missing", GetParam(), plain.size(), out));
    Collect refusing(1000);
    EXPECT_EQ(E_FAIL, DecodeFile(dir / "packed", GetParam(), plain.size(), refusing));
}

INSTANTIATE_TEST_SUITE_P(Codecs, StreamDecodeTest, ::testing::Values(Codec::kZlib, Codec::kLzma),
                         [](const auto& test) { return test.param == Codec::kZlib ? "Zlib" : "Lzma"; });

}  // namespace
