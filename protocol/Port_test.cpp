#include "protocol/Port.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using namespace Quor::OrvaneProtocol;

TEST(Port, ParsesOnlyWholePortNumbers) {
    const struct {
        const char* value;
        uint16_t port;
    } cases[] = {{nullptr, 28126},
                 {"", 28126},
                 {"40000", 40000},
                 {"1", 1},
                 {"65535", 65535},
                 {"0", 28126},
                 {"65536", 28126},
                 {"12a", 28126},
                 {"-5", 28126},
                 {" 80", 28126},
                 {"99999999999999999999", 28126}};
    for (const auto& c : cases) EXPECT_EQ(ParseOrvanePort(c.value), c.port) << (c.value ? c.value : "(null)");
}

// Each test case runs in a process of its own, so the port is read afresh in each.
TEST(Port, DefaultWithoutTheVariable) {
    unsetenv("ORVANE_PORT");
    EXPECT_EQ(GetOrvanePort(), 28126);
}

TEST(Port, VariableMovesItAndIsReadOnce) {
    setenv("ORVANE_PORT", "31001", 1);
    EXPECT_EQ(GetOrvanePort(), 31001);
    setenv("ORVANE_PORT", "31002", 1);
    EXPECT_EQ(GetOrvanePort(), 31001);
    unsetenv("ORVANE_PORT");
}

}  // namespace
