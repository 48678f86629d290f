// What only the LZMA2 helpers have: the container's header as written to files, containers of
// unknown size, and 64-bit source lengths.
#include "common/LZMA.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <thread>

#include "common/LzmaContainer.h"
#include "foundation/ByteOrder.h"
#include "tests/kit/TempDir.h"
#include "tests/kit/TestData.h"

namespace LC = Quor::Common::LzmaContainer;

TEST(LZMA, EmptyFileIsTheHeaderAndTheEndMarker) {
    QuorTest::TempDir dir;
    QuorTest::WriteFile(dir / "empty", "");
    ASSERT_EQ(Quor::Common::LZMA::CompressFile(dir / "empty", dir / "packed", 0), S_OK);
    const std::string packed = QuorTest::ReadFile(dir / "packed");
    ASSERT_EQ(packed.size(), LC::kHeaderSize + 1);
    EXPECT_EQ(Vorn::Bytes::LoadLE64(packed.data() + 1), 0u);
    EXPECT_EQ(packed.back(), '\0');
}

TEST(LZMA, ContainerOfUnknownSizeDecodesToItsEndMarker) {
    QuorTest::TempDir dir;
    const std::string plain = QuorTest::TextBytes(200000, 31);
    QuorTest::WriteFile(dir / "plain", plain);
    ASSERT_EQ(Quor::Common::LZMA::CompressFile(dir / "plain", dir / "packed", 0), S_OK);
    std::string packed = QuorTest::ReadFile(dir / "packed");
    Vorn::Bytes::StoreLE64(&packed[1], LC::kUnknownSize);
    QuorTest::WriteFile(dir / "unknown", packed);
    ASSERT_EQ(Quor::Common::LZMA::DecompressFile(dir / "unknown", dir / "out"), S_OK);
    EXPECT_TRUE(QuorTest::ReadFile(dir / "out") == plain);
}

// A bound on the decoded bytes: a container that states more, or (of unknown size) decodes to
// more, fails with no more than the bound written.
TEST(LZMA, DecodingIntoAFileStopsAtItsBound) {
    QuorTest::TempDir dir;
    const std::string plain = QuorTest::TextBytes(200000, 32);
    QuorTest::WriteFile(dir / "plain", plain);
    ASSERT_EQ(Quor::Common::LZMA::CompressFile(dir / "plain", dir / "stated", 0), S_OK);
    std::string unknown = QuorTest::ReadFile(dir / "stated");
    Vorn::Bytes::StoreLE64(&unknown[1], LC::kUnknownSize);
    QuorTest::WriteFile(dir / "unknown", unknown);
    for (const char* container : {"stated", "unknown"}) {
        for (const uint64_t bound : {uint64_t{plain.size()}, uint64_t{plain.size() - 1}, uint64_t{1000}}) {
            const HRESULT hr = Quor::Common::LZMA::DecompressFile(dir / container, dir / "out", bound);
            const std::string out = QuorTest::ReadFile(dir / "out");
            EXPECT_EQ(bound >= plain.size() ? S_OK : E_FAIL, hr) << container << " bound " << bound;
            EXPECT_LE(out.size(), bound) << container << " bound " << bound;
            if (SUCCEEDED(hr)) {
                EXPECT_TRUE(out == plain) << container;
            }
        }
    }
}

// A source of 2 GiB or more states its real 64-bit length in the header. The container goes into a
// pipe whose reader takes the header and then leaves, so that the compression stops early (with a
// failure: its output could not be written).
TEST(LZMA, SourceOfThreeGibibytesStatesItsFullLength) {
    QuorTest::TempDir dir;
    const uint64_t length = (uint64_t(3) << 30) + 12345;
    {
        const int fd = open((dir / "big").c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, static_cast<off_t>(length)), 0);  // sparse: zeros
        close(fd);
    }
    ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
    signal(SIGPIPE, SIG_IGN);  // the write after the reader left fails with EPIPE instead
    HRESULT result = S_OK;
    std::thread compressor([&] { result = Quor::Common::LZMA::CompressFile(dir / "big", dir / "pipe", 0); });
    const int reader = open((dir / "pipe").c_str(), O_RDONLY);
    ASSERT_GE(reader, 0);
    unsigned char header[LC::kHeaderSize];
    size_t got = 0;
    while (got < sizeof header) {
        const ssize_t n = read(reader, header + got, sizeof header - got);
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    close(reader);
    compressor.join();
    ASSERT_EQ(got, sizeof header);
    EXPECT_EQ(Vorn::Bytes::LoadLE64(header + 1), length);
    EXPECT_EQ(result, E_FAIL);
}
