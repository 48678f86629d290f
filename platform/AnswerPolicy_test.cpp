#include "platform/AnswerPolicy.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>

namespace {

using Quor::Platform::AnswerMessageBox;
using Quor::Platform::ChooseFolder;

// The script is read once per process; every test case runs in its own process.
TEST(AnswerPolicy, ScriptedAnswersAreUsedInOrderByQuestionsWithAChoice) {
    setenv("ORVANE_ANSWERS", "1\n/games\n7\ncancel\n/never", 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(AnswerMessageBox("one button", 1, 0), 0);  // takes no entry
    EXPECT_EQ(AnswerMessageBox("two buttons", 2, 0), 1);
    EXPECT_EQ(ChooseFolder("where", "/Applications"), std::optional<std::string>("/games"));
    EXPECT_EQ(AnswerMessageBox("out of range", 3, 2), 2);  // "7" is no button: the default
    EXPECT_EQ(ChooseFolder("where", "/Applications"), std::nullopt);
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("Message: two buttons [answer 1]"), std::string::npos) << log;
}

TEST(AnswerPolicy, WithoutScriptTheDefaultAnswersAndTheChooserCancels) {
    unsetenv("ORVANE_ANSWERS");
    testing::internal::CaptureStderr();
    EXPECT_EQ(AnswerMessageBox("question", 3, 2), 2);
    if (!isatty(0)) {
        EXPECT_EQ(ChooseFolder("where", "/Applications"), std::nullopt);
    }
    testing::internal::GetCapturedStderr();
}

}  // namespace
