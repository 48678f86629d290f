#include "foundation/ZStream.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using Vorn::ZStream;

std::vector<uint8_t> Deflate(const std::string& text, int windowBits) {
    ZStream z;
    EXPECT_EQ(z.InitDeflate(ZStream::kDefaultLevel, windowBits), ZStream::kOk);
    std::vector<uint8_t> out(ZStream::DeflateBound(text.size()) + 64);
    z.SetInput(text.data(), static_cast<uint32_t>(text.size()));
    z.SetOutput(out.data(), static_cast<uint32_t>(out.size()));
    EXPECT_EQ(z.Deflate(ZStream::kFinish), ZStream::kStreamEnd);
    out.resize(z.TotalOut());
    return out;
}

// Inflates in small output steps so that the loop of a real caller is exercised.
int Inflate(const std::vector<uint8_t>& in, int windowBits, std::string& out) {
    ZStream z;
    int rc = z.InitInflate(windowBits);
    if (rc != ZStream::kOk) return rc;
    z.SetInput(in.data(), static_cast<uint32_t>(in.size()));
    char chunk[100];
    do {
        z.SetOutput(chunk, sizeof chunk);
        rc = z.Inflate(ZStream::kNoFlush);
        out.append(chunk, sizeof chunk - z.AvailOut());
    } while (rc == ZStream::kOk);
    return rc;
}

TEST(ZStream, RoundTripsInEveryFormat) {
    std::mt19937 rng(7);
    std::string text;
    for (int i = 0; i < 20000; ++i) text += static_cast<char>('a' + rng() % 4);
    for (int bits : {ZStream::kZlibFormat, ZStream::kRawDeflate, ZStream::kGzipFormat}) {
        const auto packed = Deflate(text, bits);
        std::string back;
        EXPECT_EQ(Inflate(packed, bits, back), ZStream::kStreamEnd) << "window bits " << bits;
        EXPECT_EQ(back, text) << "window bits " << bits;
    }
}

TEST(ZStream, CorruptInputIsADataErrorAndStateIsReleased) {
    auto packed = Deflate(std::string(1000, 'x'), ZStream::kZlibFormat);
    packed[0] ^= 0xFF;  // broken header
    std::string out;
    EXPECT_EQ(Inflate(packed, ZStream::kZlibFormat, out), ZStream::kDataError);

    ZStream z;
    EXPECT_FALSE(z.IsStarted());
    EXPECT_EQ(z.Inflate(ZStream::kNoFlush), ZStream::kStreamError);  // not started
    ASSERT_EQ(z.InitInflate(), ZStream::kOk);
    EXPECT_EQ(z.Deflate(ZStream::kFinish), ZStream::kStreamError);   // wrong direction
    ZStream moved(std::move(z));
    EXPECT_TRUE(moved.IsStarted());
    moved.End();
    moved.End();
    EXPECT_FALSE(moved.IsStarted());
}

}  // namespace
