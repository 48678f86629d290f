#include "remote/MD5Helper.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <string>

#include "common/BufferMalloc.h"
#include "tests/kit/Md5sum.h"
#include "tests/kit/TempDir.h"

namespace {

using Quor::Common::MD5Helper;

std::string Hex(const MD5::DIGEST& digest) {
    std::string text;
    MD5::ToString(digest, text);
    return text;
}

std::string FileDigest(const std::string& path) {
    MD5::DIGEST digest = {};
    EXPECT_EQ(MD5Helper::ComputeMD5(path, digest), S_OK) << path;
    return Hex(digest);
}

std::string RangeDigest(const std::string& path, UINT offset, UINT length, HRESULT expected = S_OK) {
    MD5::DIGEST digest;
    std::memset(digest, 0xEE, sizeof digest);
    EXPECT_EQ(MD5Helper::ComputeMD5(path, offset, length, digest), expected) << path << " " << offset << "+" << length;
    return Hex(digest);
}

std::string BytesDigest(const std::string& bytes) {
    MD5 md5;
    md5.Update(bytes.data(), static_cast<UINT>(bytes.size()));
    md5.Final();
    return Hex(md5.GetDigest());
}

class MD5HelperTest : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const std::string& bytes) {
        QuorTest::WriteFile(m_dir / name, bytes);
        return m_dir / name;
    }
    QuorTest::TempDir m_dir{"md5helper"};
};

TEST_F(MD5HelperTest, WholeFilesAndRanges) {
    EXPECT_EQ(FileDigest(Write("empty", "")), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(FileDigest(Write("abc", "abc")), "900150983cd24fb0d6963f7d28e17f72");

    std::mt19937 rng(4107);
    std::string data(600000, '\0');
    for (auto& c : data) c = static_cast<char>(rng());
    for (size_t size : {1023u, 1024u, 1025u, 2048u, 262144u, 262145u, 600000u}) {
        const std::string path = Write("f" + std::to_string(size), data.substr(0, size));
        EXPECT_EQ(FileDigest(path), BytesDigest(data.substr(0, size))) << size;
    }
    const std::string path = m_dir / "f600000";
    EXPECT_EQ(RangeDigest(path, 0, 0), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(RangeDigest(path, 1000, 300000), BytesDigest(data.substr(1000, 300000)));
    EXPECT_EQ(RangeDigest(path, 599999, 1), BytesDigest(data.substr(599999, 1)));
    // Past the end: a failure, and the digest output is untouched.
    const std::string untouched(32, 'e');
    EXPECT_EQ(RangeDigest(path, 599999, 2, E_FAIL), untouched);
    EXPECT_EQ(RangeDigest(path, 700000, 1, E_FAIL), untouched);
    EXPECT_EQ(RangeDigest(m_dir / "missing", 0, 0, E_FAIL), untouched);
}

// Reading a folder opens fine and then fails: the failure must not pass for the digest of no data.
TEST_F(MD5HelperTest, ReadErrorIsAFailureNotTheEndOfTheFile) {
    QuorTest::MakeDirs(m_dir / "folder");
    MD5::DIGEST digest;
    std::memset(digest, 0xEE, sizeof digest);
    EXPECT_EQ(MD5Helper::ComputeMD5(m_dir / "folder", digest), E_FAIL);
    EXPECT_EQ(Hex(digest), std::string(32, 'e'));
    EXPECT_EQ(MD5Helper::ComputeMD5(m_dir / "missing", digest), E_FAIL);
}

// A pipe where a file is expected fails at once instead of waiting for a writer that never comes.
TEST_F(MD5HelperTest, APipeIsRefusedWithoutBlocking) {
    const std::string pipe = m_dir / "pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
    MD5::DIGEST digest;
    std::memset(digest, 0xEE, sizeof digest);
    EXPECT_EQ(MD5Helper::ComputeMD5(pipe, digest), E_FAIL);
    EXPECT_EQ(MD5Helper::ComputeMD5(pipe, 0, 1, digest), E_FAIL);
    EXPECT_EQ(Hex(digest), std::string(32, 'e'));
}

TEST_F(MD5HelperTest, VerifyFilesAndBuffers) {
    MD5::DIGEST abc;
    ASSERT_EQ(MD5::FromString("900150983cd24fb0d6963f7d28e17f72", abc), S_OK);
    bool matches = true;
    EXPECT_EQ(MD5Helper::VerifyFileMD5(m_dir / "missing", abc, matches), E_FAIL);
    EXPECT_FALSE(matches);
    EXPECT_EQ(MD5Helper::VerifyFileMD5(Write("abc", "abc"), abc, matches), S_OK);
    EXPECT_TRUE(matches);
    EXPECT_EQ(MD5Helper::VerifyFileMD5(Write("abd", "abd"), abc, matches), S_OK);
    EXPECT_FALSE(matches);

    auto buffer = std::make_shared<Quor::Common::BufferMalloc>(3, nullptr);
    std::memcpy(buffer->GetBufferPointer(), "abc", 3);
    std::shared_ptr<Quor::API::IBuffer> held = buffer;
    MD5::DIGEST digest;
    MD5Helper::ComputeBufferMD5(held, digest);
    EXPECT_EQ(Hex(digest), "900150983cd24fb0d6963f7d28e17f72");
    MD5Helper::VerifyBufferMD5(held, abc, matches);
    EXPECT_TRUE(matches);
    static_cast<char*>(buffer->GetBufferPointer())[2] = 'd';
    MD5Helper::VerifyBufferMD5(held, abc, matches);
    EXPECT_FALSE(matches);
}

// A 3 GiB sparse file with a few written bytes (one past 2 GiB, one at the very end) hashes as
// md5sum says, whole and as a range beyond 2 GiB.
TEST_F(MD5HelperTest, SparseThreeGigabyteFileMatchesMd5sum) {
    const uint64_t size = 3ull << 30;
    const std::string path = m_dir / "sparse";
    const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, static_cast<off_t>(size)), 0);
    ASSERT_EQ(pwrite(fd, "head", 4, 0), 4);
    ASSERT_EQ(pwrite(fd, "past two gigabytes", 18, (2ull << 30) + 12345), 18);
    ASSERT_EQ(pwrite(fd, "tail", 4, static_cast<off_t>(size - 4)), 4);
    close(fd);

    const std::string expected = QuorTest::Md5sum(path);
    if (expected.empty()) GTEST_SKIP() << "md5sum is not available";
    EXPECT_EQ(FileDigest(path), expected);
    const UINT offset = (2u << 30) + 12345;
    EXPECT_EQ(RangeDigest(path, offset, 18), BytesDigest("past two gigabytes"));
    EXPECT_EQ(RangeDigest(path, static_cast<UINT>(size - 4), 4), BytesDigest("tail"));
    EXPECT_EQ(RangeDigest(path, static_cast<UINT>(size - 4), 5, E_FAIL), std::string(32, 'e'));
}

}  // namespace
