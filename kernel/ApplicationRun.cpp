// The kernel application's construction and its one pass from start-up to shutdown (Run).
#include <strings.h>
#include <unistd.h>

#include <cstring>

#include <ctime>
#include <memory>

#include "archive/ManagedFileHelper.h"
#include "common/ErrorCodes.h"
#include "common/ErrorHelper.h"
#include "common/FolderExposure.h"
#include "common/LocalRootFolder.h"
#include "common/Log.h"
#include "foundation/CStd/CStd.h"
#include "foundation/Semaphore.h"
#include "foundation/SharedMutex.h"
#include "foundation/WaitResult.h"
#include "kernel/AddressRanges.h"
#include "kernel/Application.h"
#include "kernel/CommandLine.h"
#include "kernel/KernelThread.h"
#include "kernel/OutputDialog.h"
#include "kernel/SingleInstance.h"
#include "kernel/SplashScreen.h"
#include "platform/QuitRequest.h"
#include "platform/ShellServices.h"
#include "remote/AutoTemporaryFile.h"
#include "remote/ServerSettings.h"
#include "remote/TelvoLogger.h"
#include "remote/process/Process.h"
#include "remote/process/ProcessHelper.h"
#include "update/ArchiveFolderTidy.h"
#include "update/VerifyLocalRootFolder.h"

namespace Quor::Orvane {

namespace {

constexpr const char* kRunTag = "HRESULT Quor::Orvane::Application::Run()";
constexpr const char* kVersion = "1.0.1.3";

void PromptFileSystemCaseSensitive() {
    QUOR_LOG_TAG(Log::DEBUG, "void Quor::Orvane::<anonymous namespace>::PromptFileSystemCaseSensitive()",
                 "File System is Case Sensitive");
    std::string text;
    Common::ErrorHelper::GetWindowsMessage(static_cast<DWORD>(E_QUOR_CASE_SENSITIVE_ERROR), text);
    Platform::MessageBox(text.c_str(), "", Platform::MB_STYLE_OK);
}

bool IsReplayArgument(const std::vector<std::string>& args) {
    if (args.size() != 1 || args[0].size() < 5) return false;
    return strcasecmp(args[0].c_str() + args[0].size() - 5, ".vexl") == 0;
}

bool IsWord(const std::vector<std::string>& args, const char* word) {
    return !args.empty() && strcasecmp(args[0].c_str(), word) == 0;
}

// A kernel started by another kernel (the next link of a self-update) first lets that one end, so
// that it does not count its own starter as a second instance.
void WaitForStartingKernel() {
    const pid_t parent = getppid();
    char path[1024];
    if (!Vorn::processGetPath(static_cast<Vorn::ProcessId>(parent), sizeof path, path)) return;
    const char* name = std::strrchr(path, '/');
    if (std::strcmp(name ? name + 1 : path, "Orvane") != 0) return;
    for (int waited = 0; waited < 5000 && getppid() == parent; waited += 20) Vorn::std_sleep(20);
}

// The command line without the program path at its front (quoted or not) and the blanks after it.
std::string WithoutProgramPath(const std::string& line) {
    const size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos) return line;
    size_t end = line[start] == '"' ? line.find('"', start + 1) : line.find(' ', start);
    if (end == std::string::npos) return std::string();
    if (line[start] == '"') ++end;
    end = line.find_first_not_of(' ', end);
    return end == std::string::npos ? std::string() : line.substr(end);
}

}  // namespace

Application::Application(int argc, const char** argv)
    : m_Pool(Common::ThreadPool::CreatePool(0, 0)), m_Argc(argc), m_Argv(argv) {
    Log::SetLogLevel(Log::DEBUG);
    for (int i = 1; i < argc; ++i) {
        // An argument holding a blank (a path such as ".../My Replays/a.vexl") is quoted, so that
        // it stays one argument when the line is cut into words again.
        const std::string argument = argv[i];
        const bool group = argument.find(' ') != std::string::npos && argument.find('"') == std::string::npos;
        m_CommandLine += group ? "\"" + argument + "\"" : argument;
        m_CommandLine += ' ';
    }
    SetLogFile();
}

Application::Application(const std::string& commandLine)
    : m_CommandLine(commandLine), m_Pool(Common::ThreadPool::CreatePool(0, 0)) {
    Common::LocalRootFolder::SetToCurrentWorkingDirectory();
    Log::SetLogLevel(Log::DEBUG);
    m_CommandLine = WithoutProgramPath(m_CommandLine);
    SetLogFile();
}

void Application::SetLogFile() const {
    Log::SetLogFile((Common::LocalRootFolder::Get() + "/quor_orvane.log").c_str(), 9);
}

std::vector<std::string> Application::Arguments() const {
    std::vector<std::string> arguments;
    if (m_Argv) {
        for (int i = 1; i < m_Argc; ++i) arguments.push_back(m_Argv[i]);
        return arguments;
    }
    DWORD options = 0;
    ParseCommandLine(m_CommandLine, arguments, options, true);
    if (options & OPTION_NOUPDATE) arguments.push_back("-noupdate");
    if (options & OPTION_TSR) arguments.push_back("-tsr");
    if (options & OPTION_DEBUG) arguments.push_back("-debug");
    return arguments;
}

HRESULT Application::Run() {
    HRESULT hr = S_OK;
    std::vector<std::string> args;
    DWORD options = 0;
    // Every road out of the run passes here (the shutdown).
    auto shutdown = [&hr]() {
        User::TelvoLogger::Shutdown();
        if (std::shared_ptr<SplashScreen>& splash = GetSplashScreen()) {
            splash->DestroyWindow();
            splash.reset();
        }
        User::ManagedFileHelper::Release();
        QUOR_LOG_TAG(Log::DEBUG, kRunTag, "Returning 0x%08lx", static_cast<unsigned long>(static_cast<DWORD>(hr)));
        return hr;
    };

    QUOR_LOG_TAG(Log::USER, kRunTag, "Quor content kernel Orvane (version %s)", kVersion);
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    QUOR_LOG_TAG(Log::USER, kRunTag, "Running at %02d:%02d:%02d on %02d/%02d/%04d", local.tm_hour, local.tm_min,
                 local.tm_sec, local.tm_mon + 1, local.tm_mday, local.tm_year + 1900);
    if (GetSplashScreen()) GetSplashScreen()->StartWindow();
    // Once a run: the log and everything the kernel installs stand below {root}.
    const std::string exposed = Common::FolderWritableByOthers(Common::LocalRootFolder::Get());
    if (!exposed.empty())
        QUOR_LOG_TAG(Log::WARNING, kRunTag,
                     "%s can be changed by other users of this machine: they could replace or plant files in %s.",
                     exposed.c_str(), Common::LocalRootFolder::Get().c_str());

    bool blocked = false;
    hr = IsHostAddressBlocked(Common::GetSystemSettings().Get(Common::SETTING_BLOCKED_ADDRESS_RANGES), blocked);
    if (FAILED(hr)) {
        QUOR_LOG_TAG(Log::ERROR, kRunTag, "Failed to determine if address is blocked");
        return shutdown();
    }

    QUOR_LOG_TAG(Log::DEBUG, kRunTag, "Command line: \"%s\"", m_CommandLine.c_str());
    hr = ParseCommandLine(m_CommandLine, args, options, true);
    if (FAILED(hr)) {
        QUOR_LOG_TAG(Log::ERROR, kRunTag, "ParseCommandLine failed.");
        return shutdown();
    }
    if (options & OPTION_DEBUG) Log::SetIWrite(&OutputDialog::GetOutput());

    const std::string root = Common::LocalRootFolder::Get();
    hr = User::VerifyLocalRootFolder(root, m_FileSystem);
    if (FAILED(hr)) {
        QUOR_LOG_TAG(Log::ERROR, kRunTag, "VerifyLocalRootFolder failed.");
        return shutdown();
    }
    if (IsVolumeCaseSensitive(root.c_str())) {
        PromptFileSystemCaseSensitive();
        return shutdown();
    }

    bool terminate = false;
    if (!(options & OPTION_NOUPDATE)) {
        hr = SelfUpdate(terminate);
        if (FAILED(hr)) {
            QUOR_LOG_TAG(Log::ERROR, kRunTag, "SelfUpdate failed.");
            return shutdown();
        }
    } else {
        bool unused = false;
        hr = VerifyFiles(false, unused);
        if (FAILED(hr)) {
            QUOR_LOG_TAG(Log::ERROR, kRunTag, "File verification failed.");
            return shutdown();
        }
    }
    if (terminate) {
        QUOR_LOG_TAG(Log::DEBUG, kRunTag, "Terminating after SelfUpdate.");
        return shutdown();
    }
    if (Platform::QuitRequested()) {
        // The system asked the program to end while it brought its folder up to date.
        QUOR_LOG_TAG(Log::ERROR, kRunTag, "Quit requested before the command; the run ends.");
        hr = E_ABORT;
        return shutdown();
    }

    if (args.empty()) {
        PrintUsageMessage();
        return shutdown();
    }
    if (IsWord(args, "stopkernel")) {
        if (IsKernelRunning()) {
            QUOR_LOG_TAG(Log::USER, kRunTag, "Looking for and terminating any running kernel.");
            hr = FindAndTerminateExistingProcess();
            if (FAILED(hr)) QUOR_LOG_TAG(Log::ERROR, kRunTag, "FindAndTerminateExistingProcess failed.");
        }
        return shutdown();
    }
    if (IsWord(args, "help") || IsWord(args, "usage")) {
        PrintUsageMessage();
        return shutdown();
    }
    if (IsReplayArgument(args)) {
        const std::string replay = args[0];
        QUOR_LOG_TAG(Log::DEBUG, kRunTag, "Launching replay: %s", replay.c_str());
        std::shared_ptr<Vorn::SharedMutex> orchestrator = Vorn::SharedMutex::Find("VORN_OSTREL_MUTEX");
        if (orchestrator && orchestrator->IsValid()) {
            QUOR_LOG_TAG(Log::DEBUG, kRunTag, "Ostrel running, sending message and closing");
            SignalReplayLaunch(replay);
            hr = S_OK;
            return shutdown();
        }
        QUOR_LOG_TAG(Log::DEBUG, kRunTag, "Ostrel not running, starting launcher");
        DWORD unused = 0;
        hr = ParseCommandLine("updateandrun kiv_launcher KivLauncher.app \"" + replay + "\"", args, unused, false);
        if (FAILED(hr)) return shutdown();
    }

    WaitForStartingKernel();
    bool otherStays = false;
    const unsigned others = Common::ProcessHelper::CountProcessesByName("Orvane", OwnRootScope());
    if (others >= 2) {
        QUOR_LOG_TAG(Log::DEBUG, kRunTag, "An instance is waiting to run, shutting down");
        return shutdown();
    }
    if (others == 1) {
        QUOR_LOG_TAG(Log::DEBUG, kRunTag, "An instance is running, waiting for it to close");
        if (!Common::ProcessHelper::WaitForProcessesToExit("Orvane", 0, OwnRootScope())) otherStays = !PromptToKillOtherInstances();
    }
    // A semaphore left by a kernel that died; one held by a kernel that still runs stays.
    if (Common::ProcessHelper::CountProcessesByName("Orvane", OwnRootScope()) == 0) Vorn::Semaphore::Cleanup(KernelThread::kInstanceMutexName);
    if (otherStays) return shutdown();

    Common::DeleteTemporaryFiles();
    // A kernel killed during an archive change left it unfinished: it is finished before any job.
    User::TidyArchiveFolders(m_FileSystem);
    Common::ProcessHelper::TerminateProcessesByName("KivLauncher", OwnRootScope());

    std::unique_ptr<KernelThread> server;
    if (!IsKernelRunning()) {
        server = std::make_unique<KernelThread>(m_Pool, hr);
        if (FAILED(hr)) {
            QUOR_LOG_TAG(Log::ERROR, kRunTag, "The request server did not start (0x%08lx).",
                         static_cast<unsigned long>(static_cast<DWORD>(hr)));
            server.reset();
            return shutdown();
        }
    }
    if (!server && (options & OPTION_TSR)) {
        // Asked to stay resident and serve, while another kernel of this user holds the semaphore.
        QUOR_LOG_TAG(Log::ERROR, kRunTag, "Asked to stay resident, but another kernel serves: this one cannot.");
        hr = E_FAIL;
        return shutdown();
    }

    Platform::HideMainWindow();
    HRESULT commandResult = S_OK;
    hr = DoUserCommand(args, options, commandResult);
    if (FAILED(hr)) {
        QUOR_LOG_TAG(Log::ERROR, kRunTag, "User command failed.");
    } else {
        GetSplashScreen().reset();
        if (server && server->GetThread() && (options & OPTION_TSR) &&
            Vorn::threadJoin(server->GetThread(), 0) == Vorn::WAIT_TIMEOUT) {
            if (Vorn::threadJoin(server->GetThread(), Vorn::INFINITE) != Vorn::WAIT_OBJECT_0) {
                hr = Log::Internal::LogGetLastError(kRunTag);
                if (FAILED(hr)) QUOR_LOG_TAG(Log::ERROR, kRunTag, "Failed while waiting for kernelThread thread.");
            } else {
                hr = S_OK;
            }
        }
    }
    server.reset();
    // The exit status tells of a command that failed (its reasons are in the log already).
    if (SUCCEEDED(hr) && FAILED(commandResult)) hr = commandResult;
    return shutdown();
}

}  // namespace Quor::Orvane
