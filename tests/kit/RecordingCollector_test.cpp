#include "tests/kit/RecordingCollector.h"

#include <gtest/gtest.h>

#include "tests/kit/RawHttpClient.h"

namespace QuorTest {
namespace {

TEST(RecordingCollector, RecordsEachPostedMessageWithItsHeaders) {
    RecordingCollector collector;
    ASSERT_TRUE(collector.started());
    RawHttpConnection client(collector.port());
    EXPECT_EQ(client.Request("POST", "/messages", "Content-Type: application/json\r\n", "{\"a\":\"1\"}").status, 200);
    EXPECT_EQ(client.Request("POST", "/messages", "Content-Type: application/json\r\n", "{\"b\":\"2\"}").status, 200);
    EXPECT_EQ(client.Request("POST", "/elsewhere", "", "{}").status, 404);
    EXPECT_EQ(client.Request("GET", "/messages").status, 200);  // answered, but not a message

    ASSERT_TRUE(collector.WaitForMessages(2));
    std::vector<RecordedRequest> messages = collector.messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].body, "{\"a\":\"1\"}");
    EXPECT_EQ(messages[0].header("Content-Type"), "application/json");
    EXPECT_EQ(messages[1].body, "{\"b\":\"2\"}");
    EXPECT_EQ(collector.requests().size(), 4u);
}

TEST(RecordingCollector, StalledCollectorRecordsButNeverAnswersUntilStopped) {
    RecordingCollector collector;
    ASSERT_TRUE(collector.started());
    collector.SetStalled(true);
    RawHttpConnection client(collector.port());
    ASSERT_TRUE(client.Send("POST /messages HTTP/1.1\r\nHost: x\r\nContent-Length: 2\r\n\r\n{}"));
    ASSERT_TRUE(collector.WaitForMessages(1));
    collector.Stop();  // must end the stall (the test would hang otherwise)
    RawHttpResponse response = client.ReadResponse();
    EXPECT_EQ(response.status, 0);
    EXPECT_TRUE(response.closed) << response.error;
    EXPECT_EQ(collector.messages().at(0).body, "{}");
}

}  // namespace
}  // namespace QuorTest
