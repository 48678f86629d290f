#pragma once
// The shell's hookup of the crash reporter framework: CrashReporterInit registers this process
// for crash reports (once; later calls do nothing until CrashReporterShutdown), after making the
// framework and its sender in this program's bundle (Contents/Frameworks) executable. The other
// calls do nothing without a registration. Main thread only.
namespace Tamrix {
class Tamrix;
}

namespace Quor::Shell {

void CrashReporterInit(const char* database, const char* appName, const char* version);
void CrashReporterShutdown();
void CrashReporterAddFile(const char* path);
void CrashReporterSetQuietMode(bool on);
// The registration; null without one.
const Tamrix::Tamrix* CrashReporter();

}  // namespace Quor::Shell
