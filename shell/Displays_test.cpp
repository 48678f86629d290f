#include "shell/Displays.h"

#include <gtest/gtest.h>

#include "platform/FakeDisplays.h"

namespace Quor::Shell {
namespace {

class DisplaysTest : public ::testing::Test {
protected:
    void SetUp() override { Platform::SetDisplaysForTests(&fake); }
    void TearDown() override { Platform::SetDisplaysForTests(nullptr); }

    Platform::FakeDisplays::Display& Add(uint32_t id, uint32_t width, uint32_t height, double widthMm,
                                         double heightMm) {
        Platform::FakeDisplays::Display d;
        d.id = id;
        d.current = {width, height, 60, "--------RRRRRRRRGGGGGGGGBBBBBBBB"};
        d.modes = {d.current};
        d.widthMm = widthMm;
        d.heightMm = heightMm;
        fake.displays.push_back(d);
        return fake.displays.back();
    }

    Platform::FakeDisplays fake;
};

TEST(DisplayEncodings, BitsPerPixel) {
    const std::pair<const char*, uint32_t> cases[] = {
        {"-32FR32FG32FB32", 128},
        {"-16R16G16B16", 64},
        {"-16FR16FG16FB16", 64},
        {"--------RRRRRRRRGGGGGGGGBBBBBBBB", 32},
        {"--------rrrrrrrrggggggggbbbbbbbb", 32},
        {"--RRRRRRRRRRGGGGGGGGGGBBBBBBBBBB", 32},
        {"-RRRRRGGGGGBBBBB", 16},
        {"PPPPPPPP", 8},
        {"", 8},
    };
    for (const auto& [encoding, bits] : cases) EXPECT_EQ(BitsPerPixelOfEncoding(encoding), bits) << encoding;
}

TEST_F(DisplaysTest, EnumerationFillsTheTable) {
    Add(7, 1280, 800, 0, 0).name = "Built-in";
    Platform::FakeDisplays::Display& second = Add(9, 1920, 1080, 0, 0);
    // Two modes equal to the current one (refresh rates truncate alike): the later is current.
    second.current = {1920, 1080, 60.4, "--------RRRRRRRRGGGGGGGGBBBBBBBB"};
    second.modes = {{1920, 1080, 60.0, "--------RRRRRRRRGGGGGGGGBBBBBBBB"},
                    {1024, 768, 60.0, "-RRRRRGGGGGBBBBB"},
                    {1920, 1080, 60.9, "--------rrrrrrrrggggggggbbbbbbbb"},
                    {1920, 1080, 60.0, "-RRRRRGGGGGBBBBB"}};
    fake.mainId = 9;

    ASSERT_TRUE(EnumerateDisplays());
    ASSERT_EQ(GetDisplayCount(), 2u);
    EXPECT_STREQ(GetDisplayRecord(0)->name, "Built-in");
    EXPECT_STREQ(GetDisplayRecord(1)->name, "");
    EXPECT_EQ(GetDisplayId(1), 9u);
    EXPECT_EQ(GetMainDisplayIndex(), 1u);
    EXPECT_EQ(GetDisplayModeCount(1), 4u);
    EXPECT_EQ(GetDisplayCurrentMode(1), 2u);
    EXPECT_EQ(GetDisplayModeRecord(1, 1)->bitsPerPixel, 16u);
    EXPECT_EQ(GetDisplayModeRecord(1, 2)->refreshRate, 60u);
    EXPECT_EQ(GetDisplayModeRecord(1, 4), nullptr);
    EXPECT_EQ(GetDisplayRecord(2), nullptr);
}

TEST_F(DisplaysTest, LongNameIsCutAtTheField) {
    Add(1, 800, 600, 0, 0).name = std::string(5000, 'n');
    ASSERT_TRUE(EnumerateDisplays());
    EXPECT_EQ(std::string(GetDisplayRecord(0)->name).size(), DISPLAY_NAME_SIZE - 1);
}

TEST_F(DisplaysTest, FailedEnumerationLeavesAnEmptyTable) {
    Add(1, 800, 600, 0, 0);
    ASSERT_TRUE(EnumerateDisplays());
    EXPECT_EQ(GetDisplayCount(), 1u);
    fake.listFails = true;
    EXPECT_FALSE(EnumerateDisplays());
    EXPECT_EQ(GetDisplayCount(), 0u);
    EXPECT_EQ(GetDisplayRecord(0), nullptr);
    EXPECT_EQ(GetDisplayDpi(0), 96);
    EXPECT_EQ(GetMainDisplayIndex(), 0u);
}

TEST_F(DisplaysTest, DpiIsAtMost96AndUnknownSizesGive96) {
    Add(1, 1000, 500, 254, 127);  // 100 ppi
    Add(2, 1000, 500, 0, 0);      // size unknown
    Add(3, 1000, 500, 508, 254);  // 50 ppi
    Add(4, 1000, 500, 508, 0);    // height unknown: the width decides
    ASSERT_TRUE(EnumerateDisplays());
    EXPECT_EQ(GetDisplayDpi(0), 96);
    EXPECT_EQ(GetDisplayDpi(1), 96);
    EXPECT_EQ(GetDisplayDpi(2), 50);
    EXPECT_EQ(GetDisplayDpi(3), 50);
}

TEST_F(DisplaysTest, SetDisplayModeNeedsAnExactMatch) {
    Platform::FakeDisplays::Display& d = Add(5, 1920, 1080, 0, 0);
    d.modes.push_back({1280, 720, 60, "--------RRRRRRRRGGGGGGGGBBBBBBBB"});
    ASSERT_TRUE(EnumerateDisplays());
    EXPECT_FALSE(SetDisplayMode(0, 1000, 700, 32));
    EXPECT_TRUE(fake.switches.empty());
    EXPECT_EQ(GetDisplayCurrentMode(0), 0u);
    EXPECT_TRUE(SetDisplayMode(0, 1280, 720, 32));
    ASSERT_EQ(fake.switches.size(), 1u);
    EXPECT_EQ(GetDisplayCurrentMode(0), 1u);  // enumerated again
}

TEST(HeadlessDisplays, NoDisplays) {
    EXPECT_TRUE(EnumerateDisplays());
    EXPECT_EQ(GetDisplayCount(), 0u);
    EXPECT_FALSE(SetDisplayMode(0, 800, 600, 32));
}

}  // namespace
}  // namespace Quor::Shell
