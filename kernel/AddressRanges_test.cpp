#include "kernel/AddressRanges.h"

#include <gtest/gtest.h>

#include <fstream>

#include "common/testing/LogCapture.h"
#include "tests/kit/TempDir.h"

namespace {

struct Case {
    const char* name;
    const char* content;  // null: no file
    HRESULT result;
    const char* error;    // an ERROR line expected, or null
    size_t ranges;
};

TEST(AddressRanges, FileFormsAndFailures) {
    const Case cases[] = {
        {"header only", "anything at all\n", S_OK, nullptr, 0},
        {"two ranges and blank lines", "hdr\n1,10,20,abc\n\n2,30,40,x y\n", S_OK, nullptr, 2},
        {"crlf lines", "hdr\r\n1,10,20,abc\r\n", S_OK, nullptr, 1},
        {"three numbers on line 2", "hdr\n1,2,3\n", E_FAIL, "Failed to parse line 2", 0},
        {"bad line 3", "hdr\n1,2,3,a\nx\n", E_FAIL, "Failed to parse line 3", 1},
        {"missing file", nullptr, E_FAIL, "Failed to open file \"", 0},
    };
    QuorTest::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.path() + "/ranges.csv";
        std::remove(path.c_str());
        if (c.content) std::ofstream(path) << c.content;
        QuorTest::LogCapture log;
        std::vector<std::pair<UINT, UINT>> ranges;
        EXPECT_EQ(Quor::Orvane::ParseAddressRanges(path, ranges), c.result);
        EXPECT_EQ(ranges.size(), c.ranges);
        if (c.error) {
            EXPECT_TRUE(log.Contains(c.error)) << log.All();
        }
        if (!c.content) {
            EXPECT_TRUE(log.HasError("Failed to open file \"" + path + "\".")) << log.All();
        }
        bool blocked = true;
        EXPECT_EQ(Quor::Orvane::IsHostAddressBlocked(path, blocked), c.result);
        EXPECT_FALSE(blocked);
        if (FAILED(c.result)) {
            EXPECT_TRUE(log.HasError("Failed to parse address range"));
        }
    }
}

TEST(AddressRanges, NoSettingReadsNoFile) {
    bool blocked = true;
    EXPECT_EQ(Quor::Orvane::IsHostAddressBlocked("", blocked), S_OK);
    EXPECT_FALSE(blocked);
}

TEST(AddressRanges, KeepsTheSecondAndThirdNumbers) {
    QuorTest::TempDir dir;
    const std::string path = dir.path() + "/r";
    std::ofstream(path) << "h\n7,100,200,name\n";
    std::vector<std::pair<UINT, UINT>> ranges;
    ASSERT_EQ(Quor::Orvane::ParseAddressRanges(path, ranges), S_OK);
    ASSERT_EQ(ranges.size(), 1u);
    EXPECT_EQ(ranges[0], (std::pair<UINT, UINT>(100, 200)));
}

}  // namespace
