#include "shell/CrashReporter.h"

#include <memory>
#include <string>

#include "common/Log.h"
#include "crashreport/Tamrix.h"
#include "foundation/CStd/CStdPaths.h"
#include "remote/process/Process.h"

namespace Quor::Shell {

namespace {

constexpr const char* FRAMEWORK = "Frameworks/Tamrix.framework/Versions/A/Tamrix";
constexpr const char* SENDER = "Frameworks/Tamrix.framework/Versions/A/TamrixReporter.app/Contents/MacOS/TamrixReporter";

std::unique_ptr<Tamrix::Tamrix>& Registration() {
    static std::unique_ptr<Tamrix::Tamrix> registration;
    return registration;
}

// The bundle's Contents folder ("/"-terminated): two levels above the executable.
std::string ContentsFolder() {
    char executable[1024], macos[1024], contents[1024];
    if (!Vorn::std_get_module_fullpath(sizeof executable, executable) ||
        !Vorn::std_parentpath(executable, macos, sizeof macos) || !Vorn::std_parentpath(macos, contents, sizeof contents))
        return "";
    return contents;
}

}  // namespace

void CrashReporterInit(const char* database, const char* appName, const char* version) {
    if (Registration()) return;
    const std::string contents = ContentsFolder();
    if (contents.empty()) {
        QUOR_LOG(Log::ERROR, "The program's bundle is unknown");
    } else {
        for (const char* part : {FRAMEWORK, SENDER}) {
            const std::string path = contents + part;
            if (!Vorn::MakeFileExecutable(path.c_str()))
                QUOR_LOG(Log::WARNING, "%s cannot be made executable", path.c_str());
        }
    }
    Registration() = std::make_unique<Tamrix::Tamrix>(database ? database : "", appName ? appName : "",
                                                       version ? version : "");
}

void CrashReporterShutdown() { Registration().reset(); }

void CrashReporterAddFile(const char* path) {
    if (Registration() && path) Registration()->addAdditionalFile(path);
}

void CrashReporterSetQuietMode(bool on) {
    if (Registration()) Registration()->setQuietMode(on);
}

const Tamrix::Tamrix* CrashReporter() { return Registration().get(); }

}  // namespace Quor::Shell
