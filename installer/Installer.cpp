#include "installer/Installer.h"

#include <strings.h>

#include <filesystem>

#include "common/Log.h"
#include "installer/BundleCopy.h"
#include "platform/AnswerPolicy.h"
#include "platform/VolumeProperties.h"
#include "remote/process/Process.h"

namespace Installer {
namespace {

constexpr const char* kDiskImageMarker = "/Volumes/Kindrel";
constexpr const char* kLauncherInGameFolder = "Play Kindrel.app/Contents/MacOS/OrvaneLauncher";

bool ContainsIgnoringCase(const std::string& text, const std::string& part) {
    if (part.size() > text.size()) return false;
    for (size_t at = 0; at + part.size() <= text.size(); ++at)
        if (strncasecmp(text.c_str() + at, part.c_str(), part.size()) == 0) return true;
    return false;
}

// Starts the program of the bundle copied to bundlePath, as opening it would.
bool LaunchApplication(const std::string& bundlePath) {
    std::string name = std::filesystem::path(BundlePathOfExecutable()).filename().string();
    char self[1024];
    std::string program = Vorn::processGetModuleFileName(sizeof self, self) ? std::string(self) : name;
    std::string executable = bundlePath + "/Contents/MacOS/" + program;
    std::string folder = std::filesystem::path(bundlePath).parent_path().string();
    return Vorn::processCreate(executable.c_str(), folder.c_str(), 0, nullptr, nullptr);
}

}  // namespace

std::string BundlePathOfExecutable() {
    char path[1024];
    if (!Vorn::processGetModuleFullPath(sizeof path, path)) return {};
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.filename() == "MacOS" && folder.parent_path().filename() == "Contents")
        return folder.parent_path().parent_path().string();
    return folder.string();
}

bool IsRunningFromDiskImage(const std::string& bundlePath) {
    return ContainsIgnoringCase(bundlePath, kDiskImageMarker);
}

void ShowAlert(const std::string& text) {
    Quor::Platform::AnswerMessageBox(text, 1, 0);
}

std::optional<std::string> ChooseInstallDirectory(const LocalizedStrings& strings) {
    return Quor::Platform::ChooseFolder(strings.Get("INSTALL_DIRECTORY"), "/Applications");
}

std::optional<std::string> CopyBundleToChosenFolder(const std::string& bundlePath, const LocalizedStrings& strings) {
    ShowAlert(strings.Get("NO_DMG"));
    std::string name = "/" + std::filesystem::path(bundlePath).filename().string();
    for (;;) {
        std::optional<std::string> folder = ChooseInstallDirectory(strings);
        if (!folder) return std::nullopt;
        std::string destination = *folder + name;
        if (CopyBundle(bundlePath, destination)) return destination;
        ShowAlert(strings.Get("BAD_DIRECTORY"));
    }
}

void AlertDelegate::PromptFileSystemCaseSensitive() {
    // Button 0 closes the alert; the help button (1) opens the help page and leaves it up.
    const std::string text = m_strings.Get("NO_CASE_SENSITIVE") + " (0 OK, 1 Help)";
    while (Quor::Platform::AnswerMessageBox(text, 2, 0) == 1) alertShowHelp();
}

bool AlertDelegate::alertShowHelp() {
    const std::string url = m_strings.Get("HELP_KB_URL");
    QUOR_LOG(Quor::Log::USER, "Opening the help page \"%s\"", url.c_str());
    Quor::Platform::OpenURL(url);
    return true;
}

int InstallerMain(const std::string& bundlePath) {
    LocalizedStrings strings(bundlePath);
    if (IsRunningFromDiskImage(bundlePath)) {
        if (std::optional<std::string> copy = CopyBundleToChosenFolder(bundlePath, strings)) LaunchApplication(*copy);
        return 0;
    }
    // The game folder this run would start, not "../Kiv" of whatever the working folder is.
    std::error_code ec;
    std::string absoluteFolder =
        std::filesystem::absolute(bundlePath + "/Contents/Resources/../Kiv", ec).lexically_normal().string();
    if (!absoluteFolder.empty() && absoluteFolder.back() == '/') absoluteFolder.pop_back();
    if (Quor::Platform::VolumeProperties().SupportsCaseSensitiveNames(absoluteFolder.c_str())) {
        AlertDelegate(strings).PromptFileSystemCaseSensitive();
        return 0;
    }
    std::string launcher = absoluteFolder + "/" + kLauncherInGameFolder;
    return Vorn::processCreate(launcher.c_str(), absoluteFolder.c_str(), 0, nullptr, nullptr) ? 0 : -1;
}

}  // namespace Installer
