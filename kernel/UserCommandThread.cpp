#include "kernel/UserCommandThread.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "api/Blocking.h"
#include "common/ConvertVersion.h"
#include "common/Log.h"
#include "foundation/WaitResult.h"
#include "kernel/Checksum.h"
#include "kernel/SplashScreen.h"
#include "platform/ShellServices.h"
#include "remote/process/Process.h"

namespace Quor::Orvane {

namespace {

constexpr const char* kTag = "Vorn::uint32 Quor::Orvane::UserCommandThread::ThreadProc()";
constexpr HRESULT E_INVALIDARG_ = static_cast<HRESULT>(0x80070057);

// Draws the update's download progress on the application's tile and keeps the interface alive.
class ProgressBarUpdateProgress : public Quor::API::IUpdateProgress {
public:
    void UpdateProgress(const Quor::API::Progress& progress) override {
        const float done = static_cast<float>(progress.m_BytesDownloaded);
        const float total = static_cast<float>(progress.m_BytesToDownload);
        if (total > 0.0f) Platform::DockTileProgressSet(done / total);
        Platform::PumpEvents(nullptr);
    }
};

bool Is(const std::string& word, const char* command) { return strcasecmp(word.c_str(), command) == 0; }

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// True for a present word that is neither "0" nor "false" (any case).
bool FlagWord(const std::vector<std::string>& args, size_t index) {
    return args.size() > index && args[index] != "0" && !Is(args[index], "false");
}

HRESULT InvalidCommandLine(const char* usage) {
    QUOR_LOG_TAG(Log::ERROR, kTag, "Invalid command line.");
    QUOR_LOG_TAG(Log::USER, kTag, "%s", usage);
    return E_INVALIDARG_;
}

HRESULT Release(const std::string& text, DWORD& version) {
    HRESULT hr = Common::ConvertVersion::ToNumber(text, version);
    if (FAILED(hr)) QUOR_LOG_TAG(Log::ERROR, kTag, "Invalid release format.");
    return hr;
}

HRESULT Outcome(HRESULT hr) {
    if (FAILED(hr))
        QUOR_LOG_TAG(Log::ERROR, kTag, "Failed.");
    else
        QUOR_LOG_TAG(Log::USER, kTag, "Succeeded");
    return hr;
}

}  // namespace

// The options are taken and not used: no command reads them.
UserCommandThread::UserCommandThread(const std::vector<std::string>& args, const DWORD /*options*/,
                                     HRESULT& hr)
    : m_Args(args) {
    QUOR_LOG(Log::VERBOSE, "%s", "");
    hr = S_OK;
    m_Thread = Vorn::threadCreate(&UserCommandThread::ThreadEntry, this);
    if (!m_Thread) {
        hr = Log::Internal::LogGetLastError(__PRETTY_FUNCTION__);
        if (SUCCEEDED(hr)) hr = E_FAIL;
        QUOR_LOG(Log::ERROR, "Failed to create thread.");
    }
}

UserCommandThread::~UserCommandThread() {
    QUOR_LOG(Log::VERBOSE, "()");
    // The thread uses this object: wait for its end, however long the command takes.
    if (m_Thread && Vorn::threadJoin(m_Thread, Vorn::INFINITE) != Vorn::WAIT_OBJECT_0)
        QUOR_LOG(Log::ERROR, "Failed while waiting for the command thread.");
}

Vorn::uint32 UserCommandThread::ThreadEntry(void* self) {
    return static_cast<Vorn::uint32>(static_cast<UserCommandThread*>(self)->ThreadProc());
}

Vorn::uint32 UserCommandThread::ThreadProc() {
    QUOR_LOG_TAG(Log::VERBOSE, kTag, "()");
    std::string text = "Command Line: ";
    for (const std::string& word : m_Args) text += "[" + word + "] ";
    QUOR_LOG_TAG(Log::DEBUG, kTag, "%s", text.c_str());
    const HRESULT hr = RunCommand();
    m_Main.reset();
    m_Result = hr;
    return static_cast<Vorn::uint32>(hr);
}

HRESULT UserCommandThread::RunCommand() {
    namespace B = Quor::API::Blocking;
    if (m_Args.empty()) return S_OK;
    const std::string& command = m_Args[0];
    const size_t words = m_Args.size();
    if (Is(command, "noop")) {
        QUOR_LOG_TAG(Log::VERBOSE, kTag, "noop");
        GetSplashScreen().reset();
        return S_OK;
    }
    if (Is(command, "checksum")) {
        QUOR_LOG_TAG(Log::VERBOSE, kTag, "checksum");
        return Checksum::ChecksumAllFilesInQuorDirectories();
    }

    // The main object is made whether or not a kernel answers: only its flags tell.
    HRESULT hr = Quor::API::CreateMain(m_Main);
    if (SUCCEEDED(hr) && (!m_Main || !(m_Main->GetFlags() & Quor::API::IMain::FLAG_CONNECTED))) hr = E_FAIL;
    if (FAILED(hr)) {
        QUOR_LOG_TAG(Log::ERROR, kTag, "Failed to connect to Orvane.");
        return hr;
    }
    Quor::API::IMain& main = *m_Main;
    std::vector<std::string> names;
    std::vector<DWORD> versions;
    DWORD version = 0;

    QUOR_LOG_TAG(Log::VERBOSE, kTag, "%s", command.c_str());
    if (Is(command, "EnumerateInstalledProjects")) return Outcome(B::EnumerateInstalledProjects(main, names));
    if (Is(command, "EnumerateInstalledProjectReleases")) {
        if (words != 2) return InvalidCommandLine("quor EnumerateInstalledProjectReleases <project>");
        return Outcome(B::EnumerateInstalledProjectReleases(main, m_Args[1], versions));
    }
    if (Is(command, "EnumerateAvailableProjects")) return Outcome(B::EnumerateAvailableProjects(main, names));
    if (Is(command, "EnumerateAvailableProjectReleases")) {
        if (words != 2) return InvalidCommandLine("quor EnumerateAvailableProjectReleases <project>");
        hr = B::EnumerateAvailableProjectReleases(main, m_Args[1], versions);
        if (FAILED(hr)) {
            QUOR_LOG_TAG(Log::ERROR, kTag, "EnumerateAvailableProjectReleases Failed.");
            return hr;
        }
        QUOR_LOG_TAG(Log::USER, kTag, "EnumerateAvailableProjectReleases Succeeded.");
        QUOR_LOG_TAG(Log::VERBOSE, kTag, "Available releases for %s:", m_Args[1].c_str());
        for (DWORD v : versions)
            QUOR_LOG_TAG(Log::VERBOSE, kTag, "\t%s (%u)", Common::ConvertVersion::ToString(v).c_str(), v);
        return hr;
    }
    if (Is(command, "InstallProjectRelease") || Is(command, "UninstallProjectRelease")) {
        const bool install = Is(command, "InstallProjectRelease");
        if (words != 3)
            return InvalidCommandLine(install ? "quor InstallProjectRelease <project> <release>"
                                              : "quor UninstallProjectRelease <project> <release>");
        if (FAILED(hr = Release(m_Args[2], version))) return hr;
        const std::string project = Lower(m_Args[1]);
        return Outcome(install ? B::InstallProjectRelease(main, project, version)
                               : B::UninstallProjectRelease(main, project, version));
    }
    if (Is(command, "UpdateProject")) {
        if (words != 2) return InvalidCommandLine("quor UpdateProject <project>");
        return Outcome(B::UpdateProject(main, Lower(m_Args[1]), std::weak_ptr<Quor::API::IUpdateProgress>()));
    }
    if (Is(command, "Repair")) {
        if (words != 1) return InvalidCommandLine("quor Repair");
        return Outcome(B::Repair(main, 0));
    }
    if (Is(command, "EnumerateInstalledSolutions")) return Outcome(B::EnumerateInstalledSolutions(main, names));
    if (Is(command, "EnumerateInstalledSolutionReleases")) {
        if (words != 2) return InvalidCommandLine("quor EnumerateInstalledSolutionReleases <solution>");
        return Outcome(B::EnumerateInstalledSolutionReleases(main, m_Args[1], versions));
    }
    if (Is(command, "EnumerateAvailableSolutions")) return Outcome(B::EnumerateAvailableSolutions(main, names));
    if (Is(command, "EnumerateAvailableSolutionReleases")) {
        if (words != 2) return InvalidCommandLine("quor EnumerateAvailableSolutionReleases <solution>");
        return Outcome(B::EnumerateAvailableSolutionReleases(main, m_Args[1], versions));
    }
    if (Is(command, "InstallSolutionRelease")) {
        if (words != 4) return InvalidCommandLine("quor InstallSolutionRelease <solution> <release> <configuration>");
        if (FAILED(hr = Release(m_Args[2], version))) return hr;
        return Outcome(B::InstallSolutionRelease(main, Lower(m_Args[1]), version, m_Args[3]));
    }
    if (Is(command, "InstallSolutionReleaseByProjectVersion")) {
        if (words < 4 || words > 6)
            return InvalidCommandLine(
                "quor InstallSolutionReleaseByProjectVersion <solution> <projectVersion> <configuration> "
                "<preview=false> <uninstall=false>");
        std::string response;
        hr = B::InstallSolutionReleaseByProjectVersion(main, Lower(m_Args[1]), m_Args[2], m_Args[3],
                                                       FlagWord(m_Args, 4), FlagWord(m_Args, 5), version, response);
        if (FAILED(hr))
            QUOR_LOG_TAG(Log::ERROR, kTag, "Failed.");
        else
            QUOR_LOG_TAG(Log::USER, kTag, "Succeeded, ver: %s, resp: %s",
                         Common::ConvertVersion::ToString(version).c_str(), response.c_str());
        return hr;
    }
    if (Is(command, "GetProjectVersionForSolutionRelease")) {
        if (words != 3) return InvalidCommandLine("quor GetProjectVersionForSolutionRelease <solution> <release>");
        if (FAILED(hr = Release(m_Args[2], version))) return hr;
        std::string projectVersion;
        B::GetProjectVersionForSolutionRelease(main, Lower(m_Args[1]), version, projectVersion);
        if (projectVersion.empty())
            QUOR_LOG_TAG(Log::ERROR, kTag, "Failed.");
        else
            QUOR_LOG_TAG(Log::USER, kTag, "Project Version: %s", projectVersion.c_str());
        return hr;
    }
    if (Is(command, "UninstallSolutionRelease")) {
        if (words != 3) return InvalidCommandLine("quor UninstallSolutionRelease <solution> <release>");
        if (FAILED(hr = Release(m_Args[2], version))) return hr;
        return Outcome(B::UninstallSolutionRelease(main, Lower(m_Args[1]), version));
    }
    if (Is(command, "UpdateSolution")) {
        if (words != 3) return InvalidCommandLine("quor UpdateSolution <solution> <configuration>");
        return Outcome(B::UpdateSolution(main, Lower(m_Args[1]), m_Args[2]));
    }
    if (Is(command, "Run")) {
        if (words != 4) return InvalidCommandLine("quor Run <project|solution> <release> <executable>");
        if (FAILED(hr = Release(m_Args[2], version))) return hr;
        GetSplashScreen().reset();
        return RunAndWait(Lower(m_Args[1]), version, m_Args[3], "");
    }
    if (Is(command, "SetLogParameters")) {
        if (words != 2) return InvalidCommandLine("quor SetLogParameters <type>");
        return Outcome(B::SetLogParameters(main, static_cast<UINT>(std::atoi(m_Args[1].c_str()))));
    }
    if (Is(command, "UpdateAndRunSolution")) {
        if (words != 4) return InvalidCommandLine("quor UpdateAndRunSolution <solution> <configuration> <executable>");
        return UpdateAndRunSolution();
    }
    if (Is(command, "UpdateAndRunProject") || Is(command, "updateandrun")) {
        if (words != 3 && words != 4)
            return InvalidCommandLine("quor UpdateAndRunProject <project> <executable>  <command=\"\">");
        return UpdateAndRunProject();
    }
    QUOR_LOG_TAG(Log::ERROR, kTag, "Invalid command \"%s\"", command.c_str());
    return E_INVALIDARG_;
}

HRESULT UserCommandThread::UpdateAndRunProject() {
    namespace B = Quor::API::Blocking;
    const std::string project = Lower(m_Args[1]);
    const std::string commandLine = m_Args.size() == 4 ? m_Args[3] : std::string();
    if (auto& splash = GetSplashScreen()) splash->OnUpdateStart();
    Platform::DockTileProgressBegin();
    HRESULT hr;
    {
        auto progress = std::make_shared<ProgressBarUpdateProgress>();
        hr = B::UpdateProject(*m_Main, project, std::weak_ptr<Quor::API::IUpdateProgress>(progress));
    }
    Platform::DockTileProgressEnd();
    if (FAILED(hr)) {
        QUOR_LOG_TAG(Log::ERROR, kTag, "UpdateProject failed.");
        return hr;
    }
    std::vector<DWORD> versions;
    hr = B::EnumerateInstalledProjectReleases(*m_Main, project, versions);
    return RunNewest(hr, versions, "EnumerateInstalledProjectReleases failed.",
                     "UpdateProject succeeded, but no releases found!", project, m_Args[2], commandLine);
}

HRESULT UserCommandThread::UpdateAndRunSolution() {
    namespace B = Quor::API::Blocking;
    const std::string solution = Lower(m_Args[1]);
    HRESULT hr = B::UpdateSolution(*m_Main, solution, m_Args[2]);
    if (FAILED(hr)) {
        QUOR_LOG_TAG(Log::ERROR, kTag, "UpdateSolution failed.");
        return hr;
    }
    std::vector<DWORD> versions;
    hr = B::EnumerateInstalledSolutionReleases(*m_Main, solution, versions);
    return RunNewest(hr, versions, "EnumerateInstalledSolutionReleases failed.",
                     "UpdateSolution succeeded, but no releases found!", solution, m_Args[3], "");
}

HRESULT UserCommandThread::RunNewest(HRESULT listed, const std::vector<DWORD>& versions, const char* listFailed,
                                     const char* noRelease, const std::string& name, const std::string& executable,
                                     const std::string& commandLine) {
    if (FAILED(listed)) {
        QUOR_LOG_TAG(Log::ERROR, kTag, "%s", listFailed);
        return listed;
    }
    if (versions.empty()) {
        QUOR_LOG_TAG(Log::ERROR, kTag, "%s", noRelease);
        return E_FAIL;
    }
    GetSplashScreen().reset();
    return RunAndWait(name, versions.back(), executable, commandLine);
}

HRESULT UserCommandThread::RunAndWait(const std::string& name, DWORD version, const std::string& executable,
                                      const std::string& commandLine) {
    DWORD processId = 0, threadId = 0;
    HRESULT hr = Quor::API::Blocking::CreateProcess(*m_Main, name, version, executable, commandLine, processId,
                                                    threadId);
    if (FAILED(hr)) {
        QUOR_LOG_TAG(Log::ERROR, kTag, "Failed to run.");
        if (Is(m_Args[0], "Run")) QUOR_LOG_TAG(Log::ERROR, kTag, "Failed.");
        return hr;
    }
    if (Vorn::processWaitPid(static_cast<Vorn::ProcessId>(processId), Vorn::INFINITE) ==
        Vorn::ProcessWaitResult::Exited) {
        QUOR_LOG_TAG(Log::USER, kTag, "Succeeded");
        return S_OK;
    }
    QUOR_LOG_TAG(Log::ERROR, kTag, "Failure while waiting for process to terminate.");
    return E_FAIL;
}

}  // namespace Quor::Orvane
