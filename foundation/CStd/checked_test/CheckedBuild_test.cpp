// The asserting build of the bounded runtime: a broken precondition reaches the assertion handler
// with the full report, and then the process stops on a trap instruction (SIGILL).
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "foundation/AssertionReport.h"
#include "foundation/CStd/CStd.h"

namespace {

using namespace Vorn;

constexpr const char* kMatched = "handler received the expected report";

// The report must equal `expected` with only the line number free (any positive decimal).
// The handler says on stderr whether it did, and the death test matches that.
void InstallCheckingHandler(std::string expectedHead, std::string expectedTail) {
    SetAssertionHandler([head = std::move(expectedHead), tail = std::move(expectedTail)](std::string text) {
        bool ok = text.size() > head.size() + tail.size() && text.compare(0, head.size(), head) == 0 &&
                  text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
        if (ok) {
            std::string line = text.substr(head.size(), text.size() - head.size() - tail.size());
            ok = line.find_first_not_of("0123456789") == std::string::npos && line[0] != '0';
        }
        std::string message = ok ? std::string(kMatched) + "\n" : "unexpected report:\n" + text + "\n";
        ssize_t ignored = write(STDERR_FILENO, message.data(), message.size());
        (void)ignored;
    });
}

const std::string kHead = "Assertion failed!\n\nFile: CStd\nLine: ";

class CStdCheckedDeathTest : public testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(CStdCheckedDeathTest, StrncpyWithACountThatDoesNotFitStops) {
    InstallCheckingHandler(kHead,
                           "\n\nFunction: char *Vorn::std_strncpy(char *, uint_size, const char *, uint_size)"
                           "\n\nExpression: count != TRUNCATE ? count < num : true"
                           "\n\nDescription: String operation causes truncation.");
    char dest[4];
    EXPECT_EXIT(std_strncpy(dest, sizeof dest, "abcdef", 6), testing::KilledBySignal(SIGILL), kMatched);
    // The check is on the count, not on the text: a short text with a count of num stops too.
    EXPECT_EXIT(std_strncpy(dest, sizeof dest, "ab", 4), testing::KilledBySignal(SIGILL), kMatched);
}

TEST_F(CStdCheckedDeathTest, StrncatOnAFullDestinationStops) {
    InstallCheckingHandler(kHead,
                           "\n\nFunction: char *Vorn::std_strncat(char *, uint_size, const char *, uint_size)"
                           "\n\nExpression: num > DestLength"
                           "\n\nDescription: Trying to std_strncat to a non-null-terminated string");
    char dest[8] = "abcd";
    EXPECT_EXIT(std_strncat(dest, 4, "e", TRUNCATE), testing::KilledBySignal(SIGILL), kMatched);
}

TEST_F(CStdCheckedDeathTest, NullSourcesStop) {
    InstallCheckingHandler(kHead,
                           "\n\nFunction: void Vorn::std_memcpy(void *, uint_size, const void *, uint_size)"
                           "\n\nExpression: pSrc");
    char dest[4];
    EXPECT_EXIT(std_memcpy(dest, sizeof dest, nullptr, 1), testing::KilledBySignal(SIGILL), kMatched);
    InstallCheckingHandler(kHead, "\n\nFunction: uint_size Vorn::std_strnlen(const char *, uint_size)"
                                  "\n\nExpression: pStr");
    EXPECT_EXIT(std_strcpy(dest, sizeof dest, nullptr), testing::KilledBySignal(SIGILL), kMatched);
}

TEST(CStdChecked, CallsThatKeepTheirPreconditionsRunAsInThePlainBuild) {
    int reports = 0;
    SetAssertionHandler([&](std::string) { ++reports; });
    char dest[4];
    EXPECT_STREQ(std_strncpy(dest, sizeof dest, "abcdef", TRUNCATE), "abc");
    EXPECT_STREQ(std_strncpy(dest, sizeof dest, "abcdef", 3), "abc");
    char text[8] = "ab";
    EXPECT_STREQ(std_strncat(text, sizeof text, "cdefgh", TRUNCATE), "abcdefg");
    EXPECT_STREQ(std_strncpy_utf8(dest, 3, "a\xC3\xA9xyz", TRUNCATE), "a");
    std_memcpy(dest, sizeof dest, "xyz", 4);
    EXPECT_STREQ(dest, "xyz");
    EXPECT_EQ(reports, 0);
}

}  // namespace
