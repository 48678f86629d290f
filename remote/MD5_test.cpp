#include "remote/MD5.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

std::string Hex(const std::string& data) {
    MD5 md5;
    md5.Update(data.data(), static_cast<UINT>(data.size()));
    md5.Final();
    std::string text;
    MD5::ToString(md5.GetDigest(), text);
    return text;
}

TEST(MD5, Rfc1321TestSuite) {
    const struct {
        const char* input;
        const char* digest;
    } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& c : cases) EXPECT_EQ(Hex(c.input), c.digest) << "input \"" << c.input << "\"";
}

// Lengths around the padding boundaries (55, 56, 63, 64 bytes) hashed in one piece and in every
// split of two pieces, and a large random input fed in random pieces, must give one digest.
TEST(MD5, SplitUpdatesGiveTheSameDigest) {
    std::mt19937 rng(1321);
    for (size_t length : {55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 128u, 1024u, 2048u}) {
        std::string data(length, '\0');
        for (auto& ch : data) ch = static_cast<char>(rng());
        const std::string whole = Hex(data);
        for (size_t cut = 0; cut <= length; ++cut) {
            MD5 md5;
            md5.Update(data.data(), static_cast<UINT>(cut));
            md5.Update(data.data() + cut, static_cast<UINT>(length - cut));
            md5.Final();
            std::string text;
            MD5::ToString(md5.GetDigest(), text);
            ASSERT_EQ(text, whole) << "length " << length << " cut at " << cut;
        }
    }
    std::string big(1 << 20, '\0');
    for (auto& ch : big) ch = static_cast<char>(rng());
    MD5 md5;
    for (size_t pos = 0; pos < big.size();) {
        const size_t piece = std::min<size_t>(rng() % 5000, big.size() - pos);
        md5.Update(big.data() + pos, static_cast<UINT>(piece));
        pos += piece;
    }
    md5.Final();
    std::string text;
    MD5::ToString(md5.GetDigest(), text);
    EXPECT_EQ(text, Hex(big));
}

TEST(MD5, MillionAs) {
    EXPECT_EQ(Hex(std::string(1000000, 'a')), "7707d6ae4e027c70eea2a935c2296f21");
}

TEST(MD5, FromStringAcceptsEitherCaseAndRefusesBadText) {
    MD5::DIGEST digest = {};
    ASSERT_EQ(MD5::FromString("900150983CD24FB0d6963f7d28e17f72", digest), S_OK);
    std::string text;
    MD5::ToString(digest, text);
    EXPECT_EQ(text, "900150983cd24fb0d6963f7d28e17f72");

    const char* bad[] = {"900150983cd24fb0d6963f7d28e17f7", "900150983cd24fb0d6963f7d28e17f722",
                         "900150983cd24fb0d6963f7d28e17f7g", ""};
    for (const char* b : bad) EXPECT_EQ(MD5::FromString(b, digest), E_FAIL) << b;

    // The bytes before a bad character are already written.
    MD5::DIGEST partial = {};
    EXPECT_EQ(MD5::FromString("abcdxz00000000000000000000000000", partial), E_FAIL);
    EXPECT_EQ(partial[0], 0xab);
    EXPECT_EQ(partial[1], 0xcd);
    EXPECT_EQ(partial[2], 0x00);
}

}  // namespace
