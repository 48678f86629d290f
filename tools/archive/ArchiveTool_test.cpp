#include "tools/archive/ArchiveTool.h"

#include <gtest/gtest.h>

#include <sstream>

#include "common/LZMA.h"
#include "common/Log.h"
#include "tests/kit/TempDir.h"

namespace Quor::Tools {
namespace {

using QuorTest::ReadFile;
using QuorTest::TempDir;
using QuorTest::WriteFile;

struct Result {
    int code;
    std::string out, err;
};

Result Tool(std::vector<std::string> args) {
    std::ostringstream out, err;
    const int code = RunArchiveTool(args, out, err);
    return {code, out.str(), err.str()};
}

class ArchiveToolTest : public ::testing::Test {
protected:
    void SetUp() override { Log::SetLogLevel(Log::USER); }
    std::string File(const std::string& name, const std::string& bytes) {
        WriteFile(dir / name, bytes);
        return dir / name;
    }
    TempDir dir;
    std::string folder = dir / "arch";
};

TEST_F(ArchiveToolTest, AddListExtractDeleteVerify) {
    ASSERT_EQ(Tool({"add", folder, "b/two.txt", File("two", "second"), "a.txt", File("one", "first")}).code, 0);
    Result list = Tool({"list", folder});
    ASSERT_EQ(list.code, 0) << list.err;
    EXPECT_NE(list.out.find("\t5\ta.txt\n"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("\t6\tb/two.txt\n"), std::string::npos) << list.out;
    EXPECT_LT(list.out.find("a.txt"), list.out.find("b/two.txt"));

    ASSERT_EQ(Tool({"extract", folder, "B/TWO.TXT", dir / "out"}).code, 0);
    EXPECT_EQ(ReadFile(dir / "out"), "second");
    ASSERT_EQ(Common::LZMA::CompressFile(File("plain", "some text to pack"), dir / "packed", 0), S_OK);
    ASSERT_EQ(Tool({"add", folder, "packed.lzma2", dir / "packed"}).code, 0);
    ASSERT_EQ(Tool({"extract", folder, "packed.lzma2", dir / "unpacked", "--lzma"}).code, 0);
    EXPECT_EQ(ReadFile(dir / "unpacked"), "some text to pack");
    EXPECT_EQ(Tool({"extract", folder, "packed.lzma2", dir / "bad", "--zlib"}).code, 1);

    Result refused = Tool({"add", folder, "a.txt", File("again", "x")});
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.err.find("a.txt: refused"), std::string::npos);
    EXPECT_EQ(Tool({"delete", folder, "nothere"}).code, 1);
    ASSERT_EQ(Tool({"delete", folder, "a.txt"}).code, 0);
    EXPECT_EQ(Tool({"extract", folder, "a.txt", dir / "out2"}).code, 1);

    Result verify = Tool({"verify", folder});
    EXPECT_EQ(verify.code, 0) << verify.out;
    EXPECT_NE(verify.out.find("1 archives, 2 files, 0 problems"), std::string::npos) << verify.out;
}

TEST_F(ArchiveToolTest, VerifyReportsProblemsWithoutChangingAnything) {
    ASSERT_EQ(Tool({"add", folder, "a.txt", File("one", "first")}).code, 0);
    const std::string listed = Tool({"list", folder}).out;
    const std::string name = listed.substr(0, listed.find(".dat"));  // the index file's name
    const std::string index = ReadFile(folder + "/" + name);
    ASSERT_FALSE(index.empty());
    std::string damaged = index;
    damaged[30] ^= 1;
    WriteFile(folder + "/" + name, damaged);
    WriteFile(folder + "/TMPabc123", "leftover");
    WriteFile(folder + "/Gone.zef.dat", "orphan");
    WriteFile(folder + "/" + name + ".commit", "journal");

    Result verify = Tool({"verify", folder});
    EXPECT_EQ(verify.code, 1);
    for (const char* expected : {"damaged index", "TMPabc123: PROBLEM", "Gone.zef.dat: PROBLEM: data file without an index",
                                 ".commit: PROBLEM", "4 problems"})
        EXPECT_NE(verify.out.find(expected), std::string::npos) << expected << "\n" << verify.out;
    // Nothing was repaired or removed.
    EXPECT_EQ(ReadFile(folder + "/" + name), damaged);
    EXPECT_TRUE(QuorTest::Exists(folder + "/TMPabc123"));
    Result list = Tool({"list", folder});
    EXPECT_EQ(list.out, "");
    EXPECT_NE(list.err.find("cannot be read"), std::string::npos);
    EXPECT_EQ(Tool({"frobnicate", folder}).code, 2);
    EXPECT_EQ(Tool({"list"}).code, 2);
}

}  // namespace
}  // namespace Quor::Tools
