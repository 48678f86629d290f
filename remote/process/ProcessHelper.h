#pragma once
// Counting, ending and waiting for running processes by the name of their executable.
//
// A process matches name when the file name of its executable, without folder and extension, is
// name exactly (case matters): "/opt/x/jpatch.bin" matches "jpatch", not "jpatch.bin". The calling
// process never matches. Processes whose executable cannot be read are skipped; when the process
// table cannot be read nothing matches. Every call reads the table afresh; thread-safe.
#include <cstdint>
#include <string>

namespace Quor::Common::ProcessHelper {

// The processes a scoped call may count, wait for or end: those running as this process's user
// (real and effective uid both this process's effective uid) whose executable, as the system
// resolved it at their start (the command line, which any process can set, is never taken),
// lies below folder (symbolic links of folder resolved), and whose instance suffix (ORVANE_INSTANCE,
// see Vorn::InstanceSuffix) is this process's own. A process whose identity cannot be read in full
// is outside every scope; an empty or unresolvable folder holds no process.
struct ProcessScope {
    std::string folder;
};

// Ends every match at once (SIGKILL); true when at least one of them was ended.
bool TerminateProcessesByName(const std::string& name);
unsigned CountProcessesByName(const std::string& name);
bool AnyProcessRunning(const std::string& name);
// Looks once a second until no process matches (true) or timeoutMs has passed (false): with 2500
// it looks at 0, 1000 and 2000 ms and gives up after the third sleep. 0 looks once, without
// sleeping.
bool WaitForProcessesToExit(const std::string& name, uint32_t timeoutMs);

// The same, for the matches inside scope only.
bool TerminateProcessesByName(const std::string& name, const ProcessScope& scope);
unsigned CountProcessesByName(const std::string& name, const ProcessScope& scope);
bool AnyProcessRunning(const std::string& name, const ProcessScope& scope);
bool WaitForProcessesToExit(const std::string& name, uint32_t timeoutMs, const ProcessScope& scope);

}  // namespace Quor::Common::ProcessHelper
