#include "common/TextFileHelper.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/ConvertVersion.h"
#include "common/UniqueFile.h"
#include "tests/kit/TempDir.h"

using Quor::Common::ConvertVersion;
using Quor::Common::TextFileHelper;
using Quor::Common::UniqueFile;

namespace {

// A stream over the given bytes, read in text mode like the system's files.
class TextStream {
public:
    explicit TextStream(const std::string& bytes) {
        QuorTest::WriteFile(m_dir / "f.txt", bytes);
        m_file.reset(std::fopen((m_dir / "f.txt").c_str(), "rt"));
        EXPECT_TRUE(m_file);
    }
    FILE* get() const { return m_file.get(); }

private:
    QuorTest::TempDir m_dir;
    UniqueFile m_file;
};

}  // namespace

TEST(ConvertVersion, ToNumberAcceptsWhatTheScanFormatAcceptsAndRefusesTheRest) {
    struct {
        const char* text;
        HRESULT result;
        DWORD version;
    } cases[] = {
        {"1.2.3.4", S_OK, 0x01020304},
        {"255.255.255.255", S_OK, 0xFFFFFFFF},
        {"0.0.0.0", S_OK, 0},
        {" 1.2.3.4", S_OK, 0x01020304},
        {"1.2.3.4\n", S_OK, 0x01020304},
        {"1.2.3.4.5", S_OK, 0x01020304},
        {"1. 2.3.4", S_OK, 0x01020304},
        {"+1.2.3.4", S_OK, 0x01020304},
        {"256.0.0.0", E_FAIL, 0},
        {"1.2.3", E_FAIL, 0},
        {"-1.0.0.0", E_FAIL, 0},
        {"a.b.c.d", E_FAIL, 0},
        {"1 .2.3.4", E_FAIL, 0},
        {"", E_FAIL, 0},
        {"99999999999999999999.0.0.0", E_FAIL, 0},
        {"1.2.3.-0", S_OK, 0x01020300},
    };
    for (const auto& c : cases) {
        DWORD version = 0xDEADBEEF;
        EXPECT_EQ(ConvertVersion::ToNumber(c.text, version), c.result) << c.text;
        EXPECT_EQ(version, SUCCEEDED(c.result) ? c.version : 0xDEADBEEF) << c.text;
    }
}

TEST(ConvertVersion, ToStringFormsGiveTheDottedTextPerCall) {
    EXPECT_EQ(ConvertVersion::ToString(1u << 24 | 2u << 16 | 3u << 8 | 4u), "1.2.3.4");
    EXPECT_EQ(ConvertVersion::ToString(0), "0.0.0.0");
    EXPECT_EQ(ConvertVersion::ToString(0xFFFFFFFF), "255.255.255.255");
    std::string text = "old";
    EXPECT_EQ(&ConvertVersion::ToString(0x0A000001, text), &text);
    EXPECT_EQ(text, "10.0.0.1");
    // Two versions in one statement no longer share a buffer.
    char both[64];
    std::snprintf(both, sizeof both, "%s %s", ConvertVersion::ToString(0x01000000).c_str(),
                  ConvertVersion::ToString(0x02000000).c_str());
    EXPECT_STREQ(both, "1.0.0.0 2.0.0.0");
    EXPECT_EQ(ConvertVersion::ToString2(0x00000102), "0.0.1.2");
}

TEST(TextFileHelper, ReadStringStripsLineEndsAndSplitsLongLines) {
    const std::string longLine(1500, 'x');
    TextStream in("abc\r\nabc\r\r\n\n" + longLine + "\nlast");
    std::string text = "before";
    const char* expected[] = {"abc", "abc", ""};
    for (const char* e : expected) {
        ASSERT_EQ(TextFileHelper::ReadString(in.get(), text, 1024), S_OK);
        EXPECT_EQ(text, e);
    }
    ASSERT_EQ(TextFileHelper::ReadString(in.get(), text, 1024), S_OK);
    EXPECT_EQ(text, std::string(1023, 'x'));
    ASSERT_EQ(TextFileHelper::ReadString(in.get(), text, 1024), S_OK);
    EXPECT_EQ(text, std::string(477, 'x'));
    ASSERT_EQ(TextFileHelper::ReadString(in.get(), text, 1024), S_OK);
    EXPECT_EQ(text, "last");
    // At the end of the file: a failure, and the text is left as it was.
    EXPECT_EQ(TextFileHelper::ReadString(in.get(), text, 1024), TextFileHelper::E_END_OF_FILE);
    EXPECT_EQ(text, "last");
}

TEST(TextFileHelper, ReadStringCutsAtAZeroByteAndRefusesBadArguments) {
    TextStream in(std::string("ab\0cd\n", 6));
    std::string text;
    ASSERT_EQ(TextFileHelper::ReadString(in.get(), text, 1024), S_OK);
    EXPECT_EQ(text, "ab");
    EXPECT_EQ(TextFileHelper::ReadString(in.get(), text, 1), E_INVALIDARG);
    EXPECT_EQ(TextFileHelper::ReadString(nullptr, text, 1024), E_INVALIDARG);
}

TEST(TextFileHelper, ReadDWORDReadsEveryBaseAndFailsWithoutDigitsOrAtTheEnd) {
    TextStream in("42\n0x10\n010\n7 apples\n  12\n4294967295\n4294967296\n-1\napples\n");
    const DWORD expected[] = {42, 16, 8, 7, 12, 4294967295u, 4294967295u, 4294967295u};
    for (DWORD e : expected) {
        DWORD value = 1;
        ASSERT_EQ(TextFileHelper::ReadDWORD(in.get(), value), S_OK);
        EXPECT_EQ(value, e);
    }
    DWORD value = 1;
    EXPECT_EQ(TextFileHelper::ReadDWORD(in.get(), value), E_FAIL);
    EXPECT_EQ(value, 0u) << "a line without a number stores 0";
    value = 5;
    EXPECT_EQ(TextFileHelper::ReadDWORD(in.get(), value), TextFileHelper::E_END_OF_FILE);
    EXPECT_EQ(value, 5u);
}

TEST(TextFileHelper, ReadVersionConvertsOneLineAndFailsAtTheEnd) {
    TextStream in("1.2.3.4\r\n1.2.3\n");
    DWORD version = 0;
    ASSERT_EQ(TextFileHelper::ReadVersion(in.get(), version), S_OK);
    EXPECT_EQ(version, 0x01020304u);
    EXPECT_EQ(TextFileHelper::ReadVersion(in.get(), version), E_FAIL);
    EXPECT_EQ(version, 0x01020304u);
    EXPECT_EQ(TextFileHelper::ReadVersion(in.get(), version), TextFileHelper::E_END_OF_FILE);
    EXPECT_EQ(version, 0x01020304u);
}

TEST(TextFileHelper, WritesOneValuePerLineAndReportsWriteFailures) {
    QuorTest::TempDir dir;
    const std::string path = dir / "out.txt";
    {
        UniqueFile out(std::fopen(path.c_str(), "wt"));
        ASSERT_TRUE(out);
        EXPECT_EQ(TextFileHelper::WriteString(out.get(), "hello"), S_OK);
        EXPECT_EQ(TextFileHelper::WriteDWORD(out.get(), 4294967295u), S_OK);
        EXPECT_EQ(TextFileHelper::WriteVersion(out.get(), 10u << 24 | 1u), S_OK);
    }
    EXPECT_EQ(QuorTest::ReadFile(path), "hello\n4294967295\n10.0.0.1\n");

    // A stream opened for reading cannot be written: a failure, not success.
    UniqueFile readOnly(std::fopen(path.c_str(), "rt"));
    EXPECT_TRUE(FAILED(TextFileHelper::WriteString(readOnly.get(), "x")));
    EXPECT_TRUE(FAILED(TextFileHelper::WriteDWORD(readOnly.get(), 1)));
    EXPECT_TRUE(FAILED(TextFileHelper::WriteVersion(readOnly.get(), 1)));
}
