#pragma once
// One kernel at a time: whether another kernel serves, asking the user before ending other
// kernels, stopping a running kernel ("stopkernel"), and handing a replay file to the game-launch
// orchestrator through {root}/vexl. All of it runs on the main thread before this process serves.
#include <string>

#include "foundation/Types.h"
#include "remote/process/ProcessHelper.h"

namespace Quor::Orvane {

// The processes that count as other kernels (name "Orvane") and as the game launcher (name
// "KivLauncher"): this user's, run from below this kernel's {root}, of this instance. Another
// user's process, or one of another root or instance, is never counted, waited for or ended.
Common::ProcessHelper::ProcessScope OwnRootScope();

// True when a kernel's request server holds the named semaphore "QUOR_ORVANE_MUTEX_NAME": one
// that this user made (as the process scope, another user's name never counts).
bool IsKernelRunning();
// Sends Terminate to the running kernel; fails when none can be reached.
HRESULT FindAndTerminateExistingProcess();
// Asks (message box, "Ok"/"Cancel") whether other kernels may be ended; true when none is left in
// the way (they ended within 60 s after "Ok"), false after "Cancel".
bool PromptToKillOtherInstances();
// Writes the replay path, byte for byte and without a line end, into {root}/vexl.
void SignalReplayLaunch(const std::string& replayPath);

}  // namespace Quor::Orvane
