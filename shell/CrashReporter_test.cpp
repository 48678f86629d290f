#include "shell/CrashReporter.h"

#include <gtest/gtest.h>

#include "crashreport/Tamrix.h"

namespace Quor::Shell {
namespace {

TEST(CrashReporter, OneRegistrationThatTheSettersReach) {
    CrashReporterAddFile("/tmp/ignored");  // no registration: nothing
    CrashReporterSetQuietMode(true);
    EXPECT_EQ(CrashReporter(), nullptr);

    CrashReporterInit("db", "Orvane", "1.0.1.3");
    const Tamrix::Tamrix* first = CrashReporter();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->additionalFiles().empty());
    CrashReporterInit("other", "other", "2");
    EXPECT_EQ(CrashReporter(), first);
    EXPECT_EQ(first->appName(), "Orvane");
    EXPECT_EQ(first->database(), "db");
    EXPECT_EQ(first->version(), "1.0.1.3");

    CrashReporterAddFile("/tmp/a.log");
    CrashReporterSetQuietMode(true);
    EXPECT_EQ(first->additionalFiles(), std::vector<std::string>{"/tmp/a.log"});
    EXPECT_TRUE(first->quietMode());

    CrashReporterShutdown();
    EXPECT_EQ(CrashReporter(), nullptr);
    CrashReporterInit("db2", "Orvane", "1");
    ASSERT_NE(CrashReporter(), nullptr);
    EXPECT_EQ(CrashReporter()->database(), "db2");
    CrashReporterShutdown();
}

}  // namespace
}  // namespace Quor::Shell
