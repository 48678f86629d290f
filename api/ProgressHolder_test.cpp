#include "api/ProgressHolder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/kit/RunCommand.h"
#include "tests/kit/TempDir.h"

namespace {

Quor::API::Progress Record(float elapsed, float remaining, uint32_t downloaded = 0, uint32_t total = 0,
                           const std::string& item = "") {
    Quor::API::Progress p;
    p.m_ElapsedSeconds = elapsed;
    p.m_RemainingSeconds = remaining;
    p.m_BytesDownloaded = downloaded;
    p.m_BytesToDownload = total;
    p.m_CurrentItem = item;
    return p;
}

std::string Text(ProgressHolder& holder) {
    std::string text;
    holder.ToString(text);
    return text;
}

std::string Patching(int percent, int time, unsigned bytes, const std::string& file) {
    return "{\"result\":\"PATCHING\",\"percentDone\":" + std::to_string(percent) +
           ",\"remainingTime\":" + std::to_string(time) + ",\"remainingBytes\":" + std::to_string(bytes) +
           ",\"currentFile\":\"" + file + "\"}";
}

TEST(ProgressHolder, RendersClampedNumbersAndNeverLowersThePercentage) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Step {
        Quor::API::Progress record;
        std::string expected;
    };
    // Steps run on one holder in order: the percentage shown is the highest so far.
    const std::vector<Step> steps = {
        {Record(30, 90, 10, 110, "a\\b//c.pak"), Patching(25, 90, 100, "a/b/c.pak")},
        {Record(31, 200), Patching(25, 200, 0, "")},     // p = 13: still 25
        {Record(0, 0), Patching(25, 0, 0, "")},          // below the threshold: 0, highest stays
        {Record(90, 10, 500, 100), Patching(90, 10, 0, "")},  // downloaded above total
        {Record(99, -5), Patching(100, 0, 0, "")},       // negative remaining: 0 s, percent at most 100
        {Record(nan, inf), Patching(100, 0, 0, "")},     // non-finite times count as 0
        {Record(1, 1e30f), Patching(100, 2147483647, 0, "")},
        {Record(1, 1, 0, 4000000000u), Patching(100, 1, 4000000000u, "")},
    };
    ProgressHolder holder;
    for (size_t i = 0; i < steps.size(); ++i) {
        holder.UpdateProgress(steps[i].record);
        EXPECT_EQ(Text(holder), steps[i].expected) << "step " << i;
    }
    holder.Clear();
    EXPECT_EQ(Text(holder), Patching(0, 0, 0, ""));
    holder.UpdateProgress(Record(-10, 5));  // e / (e + r) negative: 0
    EXPECT_EQ(Text(holder), Patching(0, 5, 0, ""));
}

TEST(ProgressHolder, AppendsAndEscapesTheCurrentFileAsJson) {
    ProgressHolder holder;
    holder.UpdateProgress(Record(1, 3, 0, 0, "dir/a\"b\\c\td\x01.pak"));
    std::string text = "prefix:";
    holder.ToString(text);
    EXPECT_EQ(text, "prefix:" + Patching(25, 3, 0, "dir/a\\\"b/c\\u0009d\\u0001.pak"));

    if (!QuorTest::HasCommand("python3")) GTEST_SKIP() << "python3 is not installed";
    QuorTest::TempDir dir;
    const std::string file = dir.path() + "/text.json";
    QuorTest::WriteFile(file, text.substr(7));
    EXPECT_EQ(QuorTest::RunCommand("python3 -m json.tool " + QuorTest::ShellQuote(file) + " >/dev/null"), 0)
        << text;
}

}  // namespace
