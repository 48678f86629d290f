#pragma once
// How a headless run answers the questions it would ask the user in a message box.
//
// Answers come first from a script a test installed (SetScriptedAnswers), else, for a whole
// program, from the environment variable ORVANE_ANSWERS (a comma list of numbers such as "1,0",
// read once, here and nowhere else); each answer is used once, in order. When the script is used
// up (or there is none) the default button answers: 0. A word of the list that is not a number
// answers 0. Thread-safe.
#include <vector>

namespace Quor::Platform {

unsigned NextAnswer();
// Replaces the remaining answers (also those read from ORVANE_ANSWERS).
void SetScriptedAnswers(const std::vector<unsigned>& answers);
// Parses a comma list ("1,0,2"); exposed for tests.
std::vector<unsigned> ParseAnswerList(const char* text);

}  // namespace Quor::Platform
