#pragma once
// How a headless run answers what a desktop program would ask its user: message boxes, alerts
// and folder choosers never block.
//
// Scripted answers come from the environment variable ORVANE_ANSWERS (read here only, once per
// process): entries separated by newlines, used in order by the questions that have a choice.
// A message box with more than one button takes the next entry as its button number; a folder
// chooser takes the next entry as the folder ("cancel" or no entry left: cancelled). Without a
// script a message box answers its default button, and a folder chooser asks on the terminal when
// stdin is one and cancels otherwise. Every text shown is printed on stderr.
// Thread-safe.
#include <optional>
#include <string>

namespace Quor::Platform {

// Shows text; returns the chosen button (0-based), defaultButton unless scripted.
int AnswerMessageBox(const std::string& text, int buttonCount, int defaultButton);
// A folder chooser titled title, starting in startFolder; the chosen folder, or nothing.
std::optional<std::string> ChooseFolder(const std::string& title, const std::string& startFolder);
// Opening an address: printed on stderr.
void OpenURL(const std::string& url);

}  // namespace Quor::Platform
