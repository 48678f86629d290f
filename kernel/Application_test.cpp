// The application object's command line: from one text (program path cut off the front) and from
// the program's arguments.
#include "kernel/Application.h"

#include <gtest/gtest.h>

#include "tests/kit/TempDir.h"

namespace {

TEST(ApplicationCommandLine, TheProgramPathIsCutOffTheFront) {
    QuorTest::QuorTree tree;
    struct Case {
        const char* line;
        const char* rest;
    } cases[] = {
        {"Orvane updateandrun kiv_launcher", "updateandrun kiv_launcher"},
        {"   /opt/x/Orvane    -tsr noop ", "-tsr noop "},
        {"\"/opt/My Games/Orvane\"  UpdateProject \"my game\"", "UpdateProject \"my game\""},
        {"\"/opt/My Games/Orvane\"", ""},
        {"\"never closed noop", ""},
        {"Orvane", ""},
        {"", ""},
        {"   ", "   "},
    };
    for (const Case& c : cases) {
        Quor::Orvane::Application application{std::string(c.line)};
        EXPECT_EQ(c.rest, application.GetCommandLine()) << "[" << c.line << "]";
    }
}

TEST(ApplicationCommandLine, ArgumentsAreJoinedEachFollowedByABlank) {
    QuorTest::QuorTree tree;
    const char* argv[] = {"/x/Orvane", "-noupdate", "/r/My Replays/a.vexl", "\"quoted already\"", ""};
    Quor::Orvane::Application application(5, argv);
    EXPECT_EQ("-noupdate \"/r/My Replays/a.vexl\" \"quoted already\"  ", application.GetCommandLine());
    const char* none[] = {"/x/Orvane"};
    EXPECT_EQ("", Quor::Orvane::Application(1, none).GetCommandLine());
}

}  // namespace
