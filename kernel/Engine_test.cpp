#include "kernel/Engine.h"

#include <gtest/gtest.h>

#include "common/Log.h"
#include "common/testing/LogCapture.h"

namespace {

// The request handler's log level goes through the installer's own operation: its entry line is
// written (at the level in force when it is called) and the new level holds afterwards.
TEST(Engine, SetLogParametersLogsItsEntryAndSetsTheLevel) {
    QuorTest::LogCapture log(Quor::Log::DEBUG);
    Quor::Orvane::Engine engine;
    EXPECT_EQ(engine.SetLogParameters(2), S_OK);
    bool entry = false;
    for (const std::string& line : log.Entries())
        if (line.find("Quor::User::SetLogParameters(") != std::string::npos && line.substr(line.size() - 3) == ": 2")
            entry = true;
    EXPECT_TRUE(entry) << log.All();
    QUOR_LOG(Quor::Log::DEBUG, "a debug line");
    QUOR_LOG(Quor::Log::WARNING, "a warning line");
    EXPECT_FALSE(log.Has("a debug line")) << log.All();
    EXPECT_TRUE(log.Has("a warning line")) << log.All();
}

}  // namespace
