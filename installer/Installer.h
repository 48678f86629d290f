#pragma once
// The disk-image installer. Run from its disk image (a bundle path holding "/Volumes/Kindrel" in
// any case) it copies its own bundle into a folder the user chooses and starts the copy. Run from
// anywhere else it refuses a case-sensitive volume and otherwise starts the launcher of the game
// folder beside its resources ({bundle}/Contents/Resources/../Kiv). Questions go through the
// answer policy (platform/AnswerPolicy.h); texts come from the bundle's strings file.
// One run per process; not thread-safe.
#include <optional>
#include <string>

#include "installer/LocalizedStrings.h"

namespace Installer {

// The program's work for the bundle at bundlePath; 0, or -1 when the launcher did not start.
int InstallerMain(const std::string& bundlePath);
// The bundle holding this program (X.app for X.app/Contents/MacOS/program; else its folder).
std::string BundlePathOfExecutable();

bool IsRunningFromDiskImage(const std::string& bundlePath);
void ShowAlert(const std::string& text);
// A folder from the chooser titled INSTALL_DIRECTORY, or nothing when cancelled.
std::optional<std::string> ChooseInstallDirectory(const LocalizedStrings& strings);
// Copies the bundle into chosen folders until one copy succeeds; its path, or nothing.
std::optional<std::string> CopyBundleToChosenFolder(const std::string& bundlePath, const LocalizedStrings& strings);

class AlertDelegate {
public:
    explicit AlertDelegate(const LocalizedStrings& strings) : m_strings(strings) {}
    // The case-sensitive volume alert, with its help button: the answer policy's button 1 opens
    // the help address and the alert stays up until button 0 (the default) closes it.
    void PromptFileSystemCaseSensitive();
    // Opens the help address (HELP_KB_URL), printed and logged; always true.
    bool alertShowHelp();

private:
    const LocalizedStrings& m_strings;
};

}  // namespace Installer
