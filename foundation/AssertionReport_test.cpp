// The assertion report's text and its handler.
#include "foundation/AssertionReport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace Vorn;

TEST(AssertionReport, TextNamesFileLineFunctionExpressionAndDescription) {
    struct Case {
        const char* description;
        int line;
        std::string expected;
    };
    const std::string head = "Assertion failed!\n\nFile: CStd\nLine: ";
    const std::string tail = "\n\nFunction: void f(int)\n\nExpression: p != 0";
    const Case cases[] = {
        {nullptr, 120, head + "120" + tail},
        {"", 7, head + "7" + tail},  // an empty description is no description
        {"Pointer is null.", 123456, head + "123456" + tail + "\n\nDescription: Pointer is null."},
        {nullptr, -5, head + "-5" + tail},
    };
    for (const Case& c : cases) {
        std::string out = "previous content";
        FormatAssertionMessage(out, "p != 0", "CStd", c.line, "void f(int)", c.description);
        EXPECT_EQ(out, c.expected);
    }
}

TEST(AssertionReport, FailedCheckReachesTheInstalledHandlerOnly) {
    AssertionFailed("x", nullptr, "F", 1, "g");  // no handler: nothing happens
    CallAssertionHandler("dropped");

    std::vector<std::string> received;
    SetAssertionHandler([&](std::string text) { received.push_back(std::move(text)); });
    ASSERT_TRUE(static_cast<bool>(GetAssertionHandler()));
    AssertionFailed("x > 0", "Bad x.", "File.cpp", 42, "int h()");
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0],
              "Assertion failed!\n\nFile: File.cpp\nLine: 42\n\nFunction: int h()\n\nExpression: x > 0"
              "\n\nDescription: Bad x.");

    SetAssertionHandler(AssertionHandler());  // an empty function removes the handler
    EXPECT_FALSE(static_cast<bool>(GetAssertionHandler()));
    CallAssertionHandler("dropped");
    EXPECT_EQ(received.size(), 1u);
}

}  // namespace
