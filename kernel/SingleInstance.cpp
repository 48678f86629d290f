#include "kernel/SingleInstance.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "api/Blocking.h"
#include "common/ErrorCodes.h"
#include "common/ErrorHelper.h"
#include "common/LocalRootFolder.h"
#include "common/Log.h"
#include "foundation/SharedMutex.h"
#include "foundation/UniqueFd.h"
#include "foundation/api/IMain.h"
#include "kernel/KernelThread.h"
#include "platform/ShellServices.h"
#include "remote/process/ProcessHelper.h"

namespace Quor::Orvane {

Common::ProcessHelper::ProcessScope OwnRootScope() { return {Common::LocalRootFolder::Get()}; }

bool IsKernelRunning() {
    auto found = Vorn::SharedMutex::Find(KernelThread::kInstanceMutexName);
    // Anyone may make a name in the system's semaphore folder: only this user's stands for a kernel.
    return found && found->IsValid() && Vorn::Semaphore::IsOwnName(KernelThread::kInstanceMutexName);
}

HRESULT FindAndTerminateExistingProcess() {
    std::shared_ptr<Quor::API::IMain> main;
    HRESULT hr = Quor::API::CreateMain(main);
    // The main object is made whether or not a kernel answers: only its flags tell.
    if (SUCCEEDED(hr) && (!main || !(main->GetFlags() & Quor::API::IMain::FLAG_CONNECTED))) hr = E_FAIL;
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to connect to Orvane.");
        return hr;
    }
    hr = Quor::API::Blocking::Terminate(*main);
    if (FAILED(hr)) QUOR_LOG(Log::ERROR, "Failed to terminated Orvane using API.");
    return hr;
}

bool PromptToKillOtherInstances() {
    constexpr const char* kTag = "bool Quor::Orvane::<anonymous namespace>::PromptToKillOtherInstances()";
    QUOR_LOG_TAG(Log::DEBUG, kTag, "Asking to close other instances");
    std::string text;
    Common::ErrorHelper::GetWindowsMessage(static_cast<DWORD>(E_QUOR_ALREADY_RUNNING), text);
    if (Platform::MessageBox(text.c_str(), "", Platform::MB_STYLE_OK_CANCEL) != 0) {
        QUOR_LOG_TAG(Log::DEBUG, kTag, "Chose not to terminate other instance");
        return false;
    }
    QUOR_LOG_TAG(Log::DEBUG, kTag, "Terminating other instance");
    Common::ProcessHelper::TerminateProcessesByName("Orvane", OwnRootScope());
    QUOR_LOG_TAG(Log::DEBUG, kTag, "Waiting for other instance to close");
    return Common::ProcessHelper::WaitForProcessesToExit("Orvane", 60000, OwnRootScope());
}

void SignalReplayLaunch(const std::string& replayPath) {
    constexpr const char* kTag = "void Quor::Orvane::<anonymous namespace>::SignalReplayLaunch(const std::string &)";
    std::string root = Common::LocalRootFolder::Get();
    if (!root.empty() && root.back() != '/') root += '/';
    const std::string path = root + "vexl";
    Vorn::UniqueFd fd(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (fd.Get() < 0) {
        const int error = errno;
        QUOR_LOG_TAG(Log::ERROR, kTag, "Failed to open replay signal file: %s, error code: %d", path.c_str(), error);
        return;
    }
    size_t done = 0;
    while (done < replayPath.size()) {
        const ssize_t wrote = write(fd.Get(), replayPath.data() + done, replayPath.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) {
            const int error = errno;
            QUOR_LOG_TAG(Log::ERROR, kTag, "Failed to open replay signal file: %s, error code: %d", path.c_str(), error);
            return;
        }
        done += static_cast<size_t>(wrote);
    }
}

}  // namespace Quor::Orvane
