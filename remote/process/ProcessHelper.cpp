#include "remote/process/ProcessHelper.h"

#include <functional>

#include "foundation/CStd/CStd.h"
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

}  // namespace

bool TerminateProcessesByName(const std::string& name) {
    return VisitByName(name, [](Vorn::ProcessId pid) { return Vorn::processForceTerminate(pid) ? 1u : 0u; }) != 0;
}

unsigned CountProcessesByName(const std::string& name) {
    return VisitByName(name, [](Vorn::ProcessId) { return 1u; });
}

bool AnyProcessRunning(const std::string& name) { return CountProcessesByName(name) != 0; }

bool WaitForProcessesToExit(const std::string& name, uint32_t timeoutMs) {
    for (uint64_t elapsed = 0;; elapsed += 1000) {
        if (elapsed >= timeoutMs) return false;
        if (!AnyProcessRunning(name)) return true;
        Vorn::std_sleep(1000);
    }
}

}  // namespace Quor::Common::ProcessHelper
