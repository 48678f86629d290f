#include "remote/process/ProcessHelper.h"

#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <functional>
#include <vector>

#include "foundation/CStd/CStd.h"
#include "foundation/Semaphore.h"
#include "platform/ProcessTable.h"
#include "remote/process/Process.h"
#include "remote/process/ProcessTableWalk.h"

namespace Quor::Common::ProcessHelper {

namespace {

// Calls visit for every other process whose executable is called name; visit adds to the
// accumulator, which is the result (0 when the table cannot be read).
unsigned VisitByName(const std::string& name, const std::function<unsigned(Vorn::ProcessId)>& visit) {
    const Vorn::ProcessId self = Vorn::processGetCurrentId();
    unsigned accumulator = 0;
    const int error = Vorn::WalkProcessTable([&](Vorn::ProcessId pid, const std::string& path) {
        if (pid != self && Vorn::ExecutableName(path) == name) accumulator += visit(pid);
    });
    return error ? 0 : accumulator;
}

// The scope's folder with its links resolved and a trailing "/"; empty when it cannot be resolved.
std::string ResolvedFolder(const std::string& folder) {
    if (folder.empty()) return {};
    char resolved[PATH_MAX];
    if (!realpath(folder.c_str(), resolved)) return {};
    std::string text = resolved;
    if (text.empty() || text.back() != '/') text += '/';
    return text;
}

bool InScope(Platform::IProcessTable& table, uint32_t pid, const std::string& name, const std::string& folder,
             const std::string& suffix) {
    const uint32_t self = static_cast<uint32_t>(::geteuid());
    uint32_t realUid = 0, effectiveUid = 0;
    if (!table.OwnerIds(pid, realUid, effectiveUid) || realUid != self || effectiveUid != self) return false;
    std::string path;
    if (!table.ResolvedExecutablePath(pid, path) || Vorn::ExecutableName(path) != name) return false;
    if (path.size() <= folder.size() || path.compare(0, folder.size(), folder) != 0) return false;
    std::string environment;
    return table.Environment(pid, environment) && Vorn::InstanceSuffixOfEnvironment(environment) == suffix;
}

// VisitByName over the matches inside scope.
unsigned VisitInScope(const std::string& name, const ProcessScope& scope,
                      const std::function<unsigned(Vorn::ProcessId)>& visit) {
    const std::string folder = ResolvedFolder(scope.folder);
    if (folder.empty()) return 0;
    const std::string suffix = Vorn::InstanceSuffix();
    Platform::IProcessTable& table = Platform::ProcessTable();
    const uint32_t self = static_cast<uint32_t>(Vorn::processGetCurrentId());
    std::vector<uint32_t> pids;
    if (table.ListProcessIds(pids) != 0) return 0;
    unsigned accumulator = 0;
    for (uint32_t pid : pids)
        if (pid != self && InScope(table, pid, name, folder, suffix))
            accumulator += visit(static_cast<Vorn::ProcessId>(pid));
    return accumulator;
}

// Looks at once and then once a second until anyRunning answers false (true) or timeoutMs has
// passed (false); a time-out of 0 looks once and does not sleep.
bool WaitUntilNoneRuns(uint32_t timeoutMs, const std::function<bool()>& anyRunning) {
    for (uint64_t elapsed = 0;; elapsed += 1000) {
        if (elapsed > 0 && elapsed >= timeoutMs) return false;
        if (!anyRunning()) return true;
        if (timeoutMs == 0) return false;
        Vorn::std_sleep(1000);
    }
}

}  // namespace

bool TerminateProcessesByName(const std::string& name) {
    return VisitByName(name, [](Vorn::ProcessId pid) { return Vorn::processForceTerminate(pid) ? 1u : 0u; }) != 0;
}

unsigned CountProcessesByName(const std::string& name) {
    return VisitByName(name, [](Vorn::ProcessId) { return 1u; });
}

bool AnyProcessRunning(const std::string& name) { return CountProcessesByName(name) != 0; }

bool WaitForProcessesToExit(const std::string& name, uint32_t timeoutMs) {
    return WaitUntilNoneRuns(timeoutMs, [&] { return AnyProcessRunning(name); });
}

bool TerminateProcessesByName(const std::string& name, const ProcessScope& scope) {
    return VisitInScope(name, scope, [](Vorn::ProcessId pid) { return Vorn::processForceTerminate(pid) ? 1u : 0u; }) != 0;
}

unsigned CountProcessesByName(const std::string& name, const ProcessScope& scope) {
    return VisitInScope(name, scope, [](Vorn::ProcessId) { return 1u; });
}

bool AnyProcessRunning(const std::string& name, const ProcessScope& scope) {
    return CountProcessesByName(name, scope) != 0;
}

bool WaitForProcessesToExit(const std::string& name, uint32_t timeoutMs, const ProcessScope& scope) {
    return WaitUntilNoneRuns(timeoutMs, [&] { return AnyProcessRunning(name, scope); });
}

}  // namespace Quor::Common::ProcessHelper
