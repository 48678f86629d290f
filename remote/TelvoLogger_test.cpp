// Telemetry records posted to the test kit's recording collector. The collectors' hosts are
// settings; every test points both at the loopback collector, so that anything sent is seen.
#include "remote/TelvoLogger.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "common/testing/LogCapture.h"
#include "platform/ManualClock.h"
#include "remote/CurlEasy.h"
#include "tests/kit/RecordingCollector.h"
#include "tests/kit/TempDir.h"

namespace {

using Quor::User::TelvoLogger;

class TelvoLoggerTest : public ::testing::Test {
protected:
    void WriteSettings(const std::string& regionLine) {
        QuorTest::WriteFile(tree.system() + "/system.cfg", regionLine + "TelvoTestCollector = " + collector.baseUrl() +
                                                               "\nTelvoCollector = " + collector.baseUrl() + "\n");
    }
    void TearDown() override { TelvoLogger::Shutdown(); }
    // Shuts the logger down on a thread of its own while a manual clock carries its wait for the
    // uploads past the point where it aborts them.
    static void ShutdownPastTheWait() {
        Quor::Platform::ManualClock clock;
        std::thread shutdown([] { TelvoLogger::Shutdown(); });
        clock.AwaitWaiters(1);
        clock.AdvanceMilliseconds(8000);
        shutdown.join();
    }

    QuorTest::QuorTree tree;
    QuorTest::RecordingCollector collector;
};

// The JSON text without the white space between its tokens.
std::string Compact(const std::string& json) {
    std::string compact;
    bool inString = false;
    for (size_t i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (inString) {
            compact += c;
            if (c == '\\' && i + 1 < json.size()) compact += json[++i];
            else if (c == '"') inString = false;
        } else if (c == '"') {
            inString = true;
            compact += c;
        } else if (c != ' ' && c != '\n' && c != '\t' && c != '\r') {
            compact += c;
        }
    }
    return compact;
}

// One JSON object whose three members are the key, "messageType" and a 13-digit "timestamp", each
// a string (`value` as written in the JSON text).
void ExpectRecord(const std::string& body, const std::string& key, const std::string& value) {
    const std::string compact = Compact(body);
    const std::string head = "{\"" + key + "\":\"" + value + "\",\"messageType\":\"quor_patch_info\",\"timestamp\":\"";
    ASSERT_EQ(0u, compact.rfind(head, 0)) << body;
    ASSERT_GE(compact.size(), head.size() + 2) << body;
    ASSERT_EQ("\"}", compact.substr(compact.size() - 2)) << body;
    const std::string timestamp = compact.substr(head.size(), compact.size() - 2 - head.size());
    EXPECT_EQ(13u, timestamp.size()) << timestamp;
    EXPECT_EQ(std::string::npos, timestamp.find_first_not_of("0123456789")) << timestamp;
    EXPECT_GT(std::stoll(timestamp), 1577836800000LL);  // after 2020-01-01: not cut to 32 bits
}

TEST_F(TelvoLoggerTest, SampledRegionPostsOneJsonObjectPerRecord) {
    WriteSettings("Region = VORN\n");
    TelvoLogger* logger = TelvoLogger::GetInstance();
    ASSERT_TRUE(logger->IsEnabled());
    EXPECT_EQ(collector.baseUrl() + "/messages", logger->GetEndpoint());

    logger->AddLogEntry("quor_patch_game_patch_speed", 1.5f, true);
    ASSERT_TRUE(collector.WaitForMessages(1));
    auto messages = collector.messages();
    EXPECT_EQ("text/json", messages[0].header("Content-Type"));
    ExpectRecord(messages[0].body, "quor_patch_game_patch_speed", "1.5");

    logger->AddLogEntry("quor_patch_game_size", UINT{4000000000u}, false);
    logger->AddLogEntry("quor_patch_top_file", "data/a b.pak", false);
    logger->AddLogEntry("quor_patch_repair_request", true, false);
    EXPECT_EQ(1u, collector.messages().size());  // kept until asked to send
    logger->SendDataToServer();
    ASSERT_TRUE(collector.WaitForMessages(4));
    messages = collector.messages();
    ASSERT_EQ(4u, messages.size());
    ExpectRecord(messages[1].body, "quor_patch_game_size", "4000000000");
    ExpectRecord(messages[2].body, "quor_patch_top_file", "data\\/a b.pak");  // the writer escapes "/"
    ExpectRecord(messages[3].body, "quor_patch_repair_request", "true");
}

TEST_F(TelvoLoggerTest, RecordsLeftPendingAreSentAtShutdown) {
    WriteSettings("Region = VORN\n");
    TelvoLogger::GetInstance()->AddLogEntry("quor_patch_game_patch_time", UINT{12}, false);
    TelvoLogger::Shutdown();
    ASSERT_EQ(1u, collector.messages().size());
    ExpectRecord(collector.messages()[0].body, "quor_patch_game_patch_time", "12");
}

// The settings are read once per process, so each region is a test case of its own.
class TelvoLoggerUnsampledTest : public TelvoLoggerTest {
protected:
    void ExpectNothingSent(const std::string& regionLine) {
        WriteSettings(regionLine);
        QuorTest::LogCapture log;
        TelvoLogger* logger = TelvoLogger::GetInstance();
        EXPECT_FALSE(logger->IsEnabled());
        logger->AddLogEntry("quor_patch_game_size", UINT{5}, true);
        logger->AddLogEntry("quor_patch_game_newuser", 2.5f, false);
        logger->SendDataToServer();
        EXPECT_TRUE(log.Has(Quor::Log::USER, "Adding Telvo Pair. Key: quor_patch_game_size Value: 5"));
        TelvoLogger::Shutdown();
        EXPECT_TRUE(collector.requests().empty());
    }
};

TEST_F(TelvoLoggerUnsampledTest, ProductionRegion) { ExpectNothingSent("Region = NORTHW\n"); }
TEST_F(TelvoLoggerUnsampledTest, RegionsCompareWithCase) { ExpectNothingSent("Region = vorn\n"); }
TEST_F(TelvoLoggerUnsampledTest, NoRegion) { ExpectNothingSent(""); }

TEST_F(TelvoLoggerTest, ShutdownWithAStalledCollectorStopsTheUploadThroughItsAbort) {
    WriteSettings("Region = VORN\n");
    collector.SetStalled(true);
    TelvoLogger::GetInstance()->AddLogEntry("quor_patch_game_patch_time", UINT{1}, true);
    ASSERT_TRUE(collector.WaitForMessages(1));  // the POST hangs in the collector now

    QuorTest::LogCapture log(Quor::Log::DEBUG);
    ShutdownPastTheWait();
    // The upload thread ended (it was joined: its last line is logged) because its transfer was
    // aborted - not left running, and not cancelled.
    EXPECT_TRUE(log.Has(Quor::Log::ERROR,
                        "Thread did not terminate, calling TerminateThread. This could cause a lack of logging "
                        "messages being sent to the server."));
    EXPECT_TRUE(log.Has("Failed on upload to Telvo server. Some messages may not have reached the server."))
        << log.All();
    EXPECT_FALSE(log.Has("TerminateThread failed."));
    EXPECT_TRUE(log.Has("perform request failed with code " +
                        std::to_string(Quor::Common::CurlEasy::AbortedByCallbackCode())));
}

TEST_F(TelvoLoggerTest, AddingWhileAnUploadHangsDoesNotWaitAndUploadsRunOneAtATime) {
    WriteSettings("Region = VORN\n");
    collector.SetStalled(true);
    TelvoLogger* logger = TelvoLogger::GetInstance();
    logger->AddLogEntry("first", UINT{1}, true);
    ASSERT_TRUE(collector.WaitForMessages(1));
    // The first upload hangs; these calls return at once, and the second upload waits for the
    // first before it posts anything.
    logger->AddLogEntry("second", UINT{2}, true);
    logger->AddLogEntry("third", UINT{3}, false);
    EXPECT_EQ(1u, collector.messages().size());
    ShutdownPastTheWait();
    EXPECT_EQ(1u, collector.messages().size());
}

}  // namespace
