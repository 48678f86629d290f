#pragma once
// How a headless run answers what a desktop program would ask its user: message boxes, alerts
// and folder choosers never block.
//
// One script of answers, used in order: installed by a test (SetScriptedAnswers), or, for a whole
// program, read from the environment variable ORVANE_ANSWERS (read here only, once per process):
// entries separated by newlines, or by commas when the text holds no newline ("1,0"). A message
// box with more than one button takes the next entry as its button number (a word that is no
// button answers the default); a folder chooser takes the next entry as the folder ("cancel" or no
// entry left: cancelled). Without a script, or once it is used up, a message box answers its
// default button (0 for NextAnswer), and a folder chooser asks on the terminal when stdin is one
// and no script was given, and cancels otherwise. Every text shown is printed on stderr.
// Thread-safe.
#include <optional>
#include <string>
#include <vector>

namespace Quor::Platform {

// Shows text; returns the chosen button (0-based), defaultButton unless scripted.
int AnswerMessageBox(const std::string& text, int buttonCount, int defaultButton);
// The next scripted answer as a number: 0 when the script is used up or the entry is no number.
unsigned NextAnswer();
// A folder chooser titled title, starting in startFolder; the chosen folder, or nothing.
std::optional<std::string> ChooseFolder(const std::string& title, const std::string& startFolder);
// Opening an address: printed on stderr.
void OpenURL(const std::string& url);

// Replaces the remaining answers (also those read from ORVANE_ANSWERS).
void SetScriptedAnswers(const std::vector<unsigned>& answers);
// Parses a comma list of numbers ("1,0,2"; a word that is no number gives 0); exposed for tests.
std::vector<unsigned> ParseAnswerList(const char* text);

}  // namespace Quor::Platform
