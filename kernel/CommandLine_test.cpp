#include "kernel/CommandLine.h"

#include <gtest/gtest.h>

#include "common/testing/LogCapture.h"

namespace {

using Quor::Orvane::ParseCommandLine;

struct Case {
    const char* line;
    bool strip;
    HRESULT result;
    std::vector<std::string> args;
    DWORD options;
};

TEST(ParseCommandLine, Table) {
    const Case cases[] = {
        {"", true, S_OK, {}, 0},
        {"UpdateProject \"my game\" ", true, S_OK, {"UpdateProject", "my game"}, 0},
        {"x \"a  b\"", true, S_OK, {"x", "a  b"}, 0},
        {"\"abc\"", true, S_OK, {"abc"}, 0},
        {"\"\" next", true, S_OK, {"", "next"}, 0},
        {"\" next", true, S_OK, {" next"}, 0},
        {"\"abc def  ghi", true, S_OK, {"abc def  ghi"}, 0},
        {"a\tb  c ", true, S_OK, {"a\tb", "c"}, 0},
        {"noop -TSR -NoUpdate -debug", true, S_OK, {"noop"}, 7},
        {"-tsr run", true, S_OK, {"run"}, 2},
        {"updateandrun k K.app \"a b\"", false, S_OK, {"updateandrun", "k", "K.app", "\"a b\""}, 0},
        // Inside quotes a word beginning with "-" is text.
        {"updateandrun k K \"/home/u/Kiv - Replays/a.vexl\"", true, S_OK,
         {"updateandrun", "k", "K", "/home/u/Kiv - Replays/a.vexl"}, 0},
        {"run \"-x\" b", true, S_OK, {"run", "-x", "b"}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        std::vector<std::string> args{"stale"};
        DWORD options = 99;
        EXPECT_EQ(ParseCommandLine(c.line, args, options, c.strip), c.result);
        EXPECT_EQ(args, c.args);
        EXPECT_EQ(options, c.options);
    }
}

TEST(ParseCommandLine, UnknownOptionStopsTheStart) {
    QuorTest::LogCapture log;
    std::vector<std::string> args;
    DWORD options = 0;
    EXPECT_EQ(ParseCommandLine("noop -x -tsr", args, options, true), static_cast<HRESULT>(0xC1E90002));
    EXPECT_TRUE(log.HasError("Unrecognized option: \"-x\"")) << log.All();
    EXPECT_EQ(options, 0u);
}

}  // namespace
