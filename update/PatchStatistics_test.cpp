// Patch statistics as the recording collector receives them: which records, with which keys and
// values, from the progress and the work lists.
#include "update/PatchStatistics.h"

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "common/ProgressClock.h"
#include "remote/TelvoLogger.h"
#include "tests/kit/RecordingCollector.h"
#include "tests/kit/TempDir.h"

namespace {

using Quor::User::AutoUpdateProgress;
using Quor::User::TelvoLogger;
namespace PatchStatistics = Quor::User::PatchStatistics;
using Entry = Quor::Common::ReleaseManifest::ENTRY;
using PatchEntry = Quor::Common::PatchManifest::ENTRY;

class FakeClock final : public Quor::User::IProgressClock {
public:
    DWORD NowMs() override { return now.load(); }
    std::atomic<DWORD> now{1000000};
};

// The first member of a record's JSON object: its key and its value (unescaped "\/").
std::pair<std::string, std::string> KeyAndValue(const std::string& body) {
    std::vector<std::string> strings;
    for (size_t i = 0; i < body.size() && strings.size() < 2; ++i) {
        if (body[i] != '"') continue;
        std::string text;
        for (++i; i < body.size() && body[i] != '"'; ++i) {
            if (body[i] == '\\' && i + 1 < body.size()) ++i;
            text += body[i];
        }
        strings.push_back(text);
    }
    return strings.size() == 2 ? std::pair{strings[0], strings[1]} : std::pair<std::string, std::string>{};
}

class PatchStatisticsTest : public ::testing::Test {
protected:
    void SetUp() override {
        QuorTest::WriteFile(tree.system() + "/system.cfg",
                            "Region = VORN\nTelvoTestCollector = " + collector.baseUrl() + "\n");
        ASSERT_TRUE(TelvoLogger::GetInstance()->IsEnabled());
    }
    void TearDown() override { TelvoLogger::Shutdown(); }

    // Sends what is pending and answers every record received, oldest first.
    std::vector<std::pair<std::string, std::string>> Records() {
        TelvoLogger::Shutdown();
        std::vector<std::pair<std::string, std::string>> records;
        for (const auto& message : collector.messages()) records.push_back(KeyAndValue(message.body));
        return records;
    }

    const Entry& AddEntry(const std::string& name, DWORD size, DWORD compressedSize = 0, DWORD flags = 0) {
        Entry& entry = entries.emplace_back();
        entry.name = name;
        entry.size = size;
        entry.compressedSize = compressedSize;
        entry.flags = flags;
        return entry;
    }
    const PatchEntry& AddPatch(const std::string& name, DWORD size) {
        PatchEntry& entry = patchEntries.emplace_back();
        entry.name = name;
        entry.size = size;
        return entry;
    }

    QuorTest::QuorTree tree;
    QuorTest::RecordingCollector collector;
    FakeClock clock;
    signed char cancel = 0;
    AutoUpdateProgress progress{nullptr, &cancel, 0, clock};
    std::deque<Entry> entries;  // stable addresses
    std::deque<PatchEntry> patchEntries;
};

TEST_F(PatchStatisticsTest, NothingIsSentForAJobThatDownloadsNothing) {
    PatchStatistics::ReportTopFiles({}, {}, progress, "alpha", false);
    PatchStatistics::ReportSize(progress, "alpha", true);
    PatchStatistics::ReportTimeAndSpeed(progress, "alpha", false);
    EXPECT_TRUE(Records().empty());
}

TEST_F(PatchStatisticsTest, FirstInstallSizeCarriesTheNewUserSuffix) {
    progress.DeltaBytesTotal(Quor::User::WORK_TYPE_DOWNLOAD, 1000);
    progress.DeltaBytesTotal(Quor::User::WORK_TYPE_DISK_ACCESS, 555);  // local work does not count
    PatchStatistics::ReportSize(progress, "abc", true);
    const auto records = Records();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ("quor_patch_abc_size_newuser", records[0].first);
    EXPECT_EQ("1000", records[0].second);
}

TEST_F(PatchStatisticsTest, TimeAndSpeedFollowTheDownloadedBytes) {
    {
        AutoUpdateProgress::AutoTimer timer(progress, Quor::User::WORK_TYPE_DOWNLOAD);
        clock.now += 2000;
        timer.DeltaBytesCompleted(1000);
    }
    PatchStatistics::ReportTimeAndSpeed(progress, "Alpha", false);  // sent at once, name kept as given
    ASSERT_TRUE(collector.WaitForMessages(2));
    const auto records = Records();
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ("quor_patch_Alpha_patch_time", records[0].first);
    EXPECT_EQ(2.0f, std::stof(records[0].second));
    EXPECT_EQ("quor_patch_Alpha_patch_speed", records[1].first);
    EXPECT_EQ(500.0f, std::stof(records[1].second));
}

// (download items as {name, size, compressed size, flags}, patch items as {name, patch size}) ->
// the top files sent, ascending.
struct TopFilesCase {
    const char* what;
    std::vector<std::tuple<std::string, DWORD, DWORD, DWORD>> downloads;
    std::vector<std::pair<std::string, DWORD>> patches;
    std::vector<std::string> expected;
};

TEST_F(PatchStatisticsTest, TopFilesAreTheLargestFiveInAscendingOrder) {
    const std::vector<TopFilesCase> cases = {
        {"three items give three files", {{"a", 30, 0, 0}, {"b", 10, 0, 0}}, {{"p", 20}}, {"b", "p", "a"}},
        {"seven give the five largest",
         {{"s1", 1, 0, 0}, {"s7", 7, 0, 0}, {"s3", 3, 0, 0}, {"s5", 5, 0, 0}},
         {{"s2", 2}, {"s6", 6}, {"s4", 4}},
         {"s3", "s4", "s5", "s6", "s7"}},
        {"a tie with the smallest held is dropped",
         {{"x5", 5, 0, 0}, {"x6", 6, 0, 0}, {"x7", 7, 0, 0}, {"x8", 8, 0, 0}, {"x9", 9, 0, 0}, {"tie", 5, 0, 0}},
         {},
         {"x5", "x6", "x7", "x8", "x9"}},
        {"compressed downloads count their compressed size",
         {{"z", 100, 1, Quor::Common::ReleaseManifest::FLAG_ZLIB},
          {"l", 100, 2, Quor::Common::ReleaseManifest::FLAG_LZMA},
          {"plain", 50, 99, 0}},
         {},
         {"z", "l", "plain"}},
        {"patches count their patch size, not the file they make",
         {{"big", 40, 0, 0}},
         {{"patched", 50}},
         {"big", "patched"}},
    };
    for (const TopFilesCase& c : cases) {
        std::vector<Quor::User::FileToDownload> downloads;
        for (const auto& [name, size, compressed, flags] : c.downloads)
            downloads.push_back({&AddEntry(name, size, compressed, flags), "/local/" + name});
        std::vector<Quor::User::FileToPatch> patches;
        for (const auto& [name, size] : c.patches) {
            Quor::User::FileToPatch item;
            item.m_PatchEntry = &AddPatch(name, size);
            item.m_TargetEntry = &AddEntry(name, 1000000);
            patches.push_back(item);
        }
        const size_t before = collector.messages().size();
        PatchStatistics::ReportTopFiles(downloads, patches, progress, "alpha", false);
        TelvoLogger::GetInstance()->SendDataToServer();
        ASSERT_TRUE(collector.WaitForMessages(before + c.expected.size())) << c.what;
        std::vector<std::string> sent;
        for (size_t i = before; i < collector.messages().size(); ++i) {
            const auto [key, value] = KeyAndValue(collector.messages()[i].body);
            EXPECT_EQ("quor_patch_top_file", key) << c.what;
            sent.push_back(value);
        }
        EXPECT_EQ(c.expected, sent) << c.what;
    }
}

TEST(PatchStatisticsLargestFilesTest, EqualSizesKeepTheirOrderAndAZeroLimitHoldsNothing) {
    PatchStatistics::LargestFiles largest;
    PatchStatistics::AddToLargestFiles(5, "first", largest, 0);
    EXPECT_TRUE(largest.empty());
    for (const char* name : {"a", "b", "c"}) PatchStatistics::AddToLargestFiles(5, name, largest, 3);
    PatchStatistics::AddToLargestFiles(6, "d", largest, 3);  // the first held of the smallest leaves
    std::vector<std::string> names;
    for (const auto& [size, name] : largest) names.push_back(name);
    EXPECT_EQ((std::vector<std::string>{"b", "c", "d"}), names);
}

}  // namespace
