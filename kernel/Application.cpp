#include "kernel/Application.h"

#include "common/Log.h"
#include "foundation/WaitResult.h"
#include "kernel/UserCommandThread.h"

namespace Quor::Orvane {

void Application::PrintUsageMessage() {
    static const char* const kLines[] = {
        "Commands:",
        " quor_orvane Repair",
        " quor_orvane UpdateProject <project>",
        " quor_orvane InstallProjectRelease <project> <release>",
        " quor_orvane UninstallProjectRelease <project> <release>",
        " quor_orvane UpdateSolution <solution> <configuration>",
        " quor_orvane UninstallSolutionRelease <solution> <release>",
        " quor_orvane InstallSolutionRelease <solution> <release> <configuration>",
        (" quor_orvane InstallSolutionReleaseByProjectVersion <solution> <projectVersion> <configuration> "
         "<preview=false>"),
        " quor_orvane Run <project|solution> <release> <executable>",
        " quor_orvane UpdateAndRunProject <project> <executable>",
        " quor_orvane UpdateAndRunSolution <solution> <configuration> <executable>",
        " quor_orvane EnumerateAvailableProjects",
        " quor_orvane EnumerateInstalledProjectReleases <project>",
        " quor_orvane EnumerateAvailableProjectReleases <project>",
        " quor_orvane EnumerateAvailableSolutions",
        " quor_orvane EnumerateInstalledSolutions",
        " quor_orvane EnumerateInstalledSolutionReleases <solution>",
        " quor_orvane GetProjectVersionForSolutionRelease <solution> <release>",
        " quor_orvane SetLogParameters <type#>",
        " quor_orvane checksum",
        " quor_orvane noop",
        "Options:",
    };
    constexpr const char* kTag = "void Quor::Orvane::Application::PrintUsageMessage()";
    Log::SetLogToConsole(true);
    for (const char* line : kLines) QUOR_LOG_TAG(Log::USER, kTag, "%s", line);
    for (const char* option : {"-noupdate", "-tsr", "-debug"}) QUOR_LOG_TAG(Log::USER, kTag, " %s", option);
    Log::SetLogToConsole(false);
}

HRESULT Application::DoUserCommand(const std::vector<std::string>& args, const DWORD options) {
    HRESULT unused = S_OK;
    return DoUserCommand(args, options, unused);
}

HRESULT Application::DoUserCommand(const std::vector<std::string>& args, const DWORD options,
                                   HRESULT& commandResult) {
    QUOR_LOG(Log::VERBOSE, "()");
    commandResult = S_OK;
    HRESULT hr = S_OK;
    UserCommandThread runner(args, options, hr);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to start user command thread.");
        return hr;
    }
    if (Vorn::threadJoin(runner.GetThread(), Vorn::INFINITE) != Vorn::WAIT_OBJECT_0) {
        hr = Log::Internal::LogGetLastError(__PRETTY_FUNCTION__);
        if (SUCCEEDED(hr)) hr = E_FAIL;
        QUOR_LOG(Log::ERROR, "Failed while waiting for kernelThread thread.");
        return hr;
    }
    commandResult = runner.GetResult();
    return S_OK;
}

}  // namespace Quor::Orvane
