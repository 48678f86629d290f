#pragma once
// Where the crash reporter finds things: this program's bundle, the sender inside the framework,
// and the report folder under HOME. Bundles are plain folders (X.app/Contents/MacOS/program);
// a program outside a bundle counts its own folder as its bundle. Thread-safe; empty on failure.
#include <string>

namespace Tamrix {

std::string MainBundlePath();
std::string ExecutableName();
std::string SenderPathInBundle(const std::string& bundlePath);
// {HOME}/Library/Logs/CrashReporter/ (created with 0755 folders when missing).
std::string CrashReportFolder();

}  // namespace Tamrix
