#include "remote/patch/AbstractRunner.h"

#include "common/LocalRootFolder.h"
#include "common/Log.h"

namespace JojoDiff {

namespace {
constexpr uint32_t kNoLimit = 0xFFFFFFFFu;
}

std::string AbstractRunner::GetToolPath() const {
    return Quor::Common::LocalRootFolder::Get() + "/system/" + GetToolName();
}

bool AbstractRunner::SpawnProcess(std::vector<const char*>& arguments, Vorn::AutoProcessHandle& handle) const {
    handle.Reset();
    const std::string path = GetToolPath();
    QUOR_LOG(Quor::Log::VERBOSE, "Spawning '%s'.", path.c_str());
    Vorn::ProcessLaunchRecord record;
    if (!Vorn::processCreate(path.c_str(), nullptr, static_cast<int>(arguments.size()), arguments.data(), &record)) {
        QUOR_LOG(Quor::Log::ERROR, "Failed to spawn '%s'.  Ensure that the file exists.", path.c_str());
        return false;
    }
    QUOR_LOG(Quor::Log::VERBOSE, "Spawned '%s' (process ID=%u).", path.c_str(), record.pid);
    handle.Transfer(record.handle);
    return true;
}

Vorn::ProcessWaitResult::Enum AbstractRunner::WaitToFinish(const Vorn::AutoProcessHandle& handle,
                                                           const uint32_t timeoutMs) const {
    if (handle.IsEmpty()) return static_cast<Vorn::ProcessWaitResult::Enum>(0);
    if (timeoutMs == kNoLimit)
        QUOR_LOG(Quor::Log::VERBOSE, "Waiting for '%s' to finish (no timeout).", GetToolName());
    else
        QUOR_LOG(Quor::Log::VERBOSE, "Waiting for '%s' to finish (timeout=%u milliseconds).", GetToolName(), timeoutMs);
    const Vorn::ProcessWaitResult::Enum result = Vorn::processWait(handle, timeoutMs);
    if (result != Vorn::ProcessWaitResult::Exited) Vorn::processTerminate(handle);
    return result;
}

Vorn::GetExitCodeResult::Enum AbstractRunner::GetExitCode(Vorn::ProcessExitCode& code,
                                                          const Vorn::AutoProcessHandle& handle) const {
    if (handle.IsEmpty()) return Vorn::GetExitCodeResult::InvalidHandle;
    const Vorn::GetExitCodeResult::Enum result = Vorn::processGetExitCode(handle, code);
    if (result == Vorn::GetExitCodeResult::Ok)
        QUOR_LOG(Quor::Log::VERBOSE, "'%s' exited with code '%d'.", GetToolName(), code);
    return result;
}

AbstractRunner::RunResult AbstractRunner::Run(std::vector<const char*>& arguments, const uint32_t timeoutMs,
                                              Vorn::ProcessExitCode& code) const {
    Vorn::AutoProcessHandle handle;
    SpawnProcess(arguments, handle);  // a failed start leaves the handle empty: the wait below says so
    const Vorn::ProcessWaitResult::Enum waited = WaitToFinish(handle, timeoutMs);
    if (waited == Vorn::ProcessWaitResult::TimedOut) return RUN_TIMED_OUT;
    if (waited != Vorn::ProcessWaitResult::Exited) return RUN_FAILED;
    return GetExitCode(code, handle) == Vorn::GetExitCodeResult::Ok ? RUN_EXITED : RUN_FAILED;
}

}  // namespace JojoDiff
