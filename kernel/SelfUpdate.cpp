// Self-update of the kernel's folder {root}/system: Application::SelfUpdate, DownloadFiles and
// VerifyFiles. The update runs as a chain of processes: the kernel in {root}/system stages what
// changed in {root}/system/temp and starts the staged copy; that copy puts the files in place and
// starts the kernel in {root}/system again with "-noupdate", which runs the command.
#include <strings.h>
#include <unistd.h>

#include <set>

#include "common/ErrorCodes.h"
#include "common/ErrorHelper.h"
#include "common/LocalFileSystem.h"
#include "common/LocalRootFolder.h"
#include "common/Log.h"
#include "foundation/CStd/CStd.h"
#include "kernel/Application.h"
#include "kernel/SelfUpdateBound.h"
#include "kernel/SingleInstance.h"
#include "kernel/VersionInfo.h"
#include "platform/ExecutablePath.h"
#include "platform/QuitRequest.h"
#include "platform/ShellServices.h"
#include "remote/RemoteFileServerHTTP.h"
#include "remote/ServerSettings.h"
#include "remote/process/Process.h"
#include "remote/process/ProcessHelper.h"

namespace Quor::Orvane {

namespace {

constexpr HRESULT E_QUOR_SELF_UPDATE_FAILED = static_cast<HRESULT>(0xC1E9000Bu);
constexpr const char* kKernelInBundle = "Orvane.app/Contents/MacOS/Orvane";
constexpr const char* kSelfUpdateTag = "HRESULT Quor::Orvane::Application::SelfUpdate(bool &)";
constexpr const char* kDownloadTag = "HRESULT Quor::Orvane::Application::DownloadFiles(bool, bool &, bool &)";
constexpr const char* kVerifyTag = "HRESULT Quor::Orvane::Application::VerifyFiles(bool, bool &, bool &)";

bool PromptSelfUpdateFailed(HRESULT& hr) {
    QUOR_LOG_TAG(Log::DEBUG, "bool Quor::Orvane::<anonymous namespace>::PromptSelfUpdateFailed(HRESULT &)",
                 "Self update failed");
    std::string text;
    Common::ErrorHelper::GetWindowsMessage(static_cast<DWORD>(E_QUOR_SELF_UPDATE_FAILED), text);
    Platform::MessageBox(text.c_str(), "", Platform::MB_STYLE_OK);
    hr = E_QUOR_SELF_UPDATE_FAILED;
    return false;
}

bool Exists(const std::string& path) { return Common::LocalFileSystem::DoesFileOrDirectoryExist(path); }

// Starts the kernel at program (working folder: its own folder) with arguments.
bool StartKernel(const std::string& program, const std::vector<std::string>& arguments) {
    const std::string folder = program.substr(0, program.find_last_of('/') + 1);
    std::vector<const char*> argv;
    for (const std::string& argument : arguments) argv.push_back(argument.c_str());
    return Vorn::processCreate(program.c_str(), folder.c_str(), static_cast<int>(argv.size()), argv.data(), nullptr);
}

// How long the staged kernel may take to start and answer before the update is given up.
constexpr uint32_t kStagedAnswerMs = 60000;

enum class StagedAnswer { Answered, NotStarted, NoAnswer };

// Runs the staged kernel once on its own, with "-noupdate help" and no output: it has answered
// when it ends with 0 within kStagedAnswerMs. One that runs longer is ended.
StagedAnswer AskStagedKernel(const std::string& program) {
    const std::string folder = program.substr(0, program.find_last_of('/') + 1);
    const char* arguments[] = {"-noupdate", "help"};
    Vorn::ProcessLaunchRecord record;
    if (!Vorn::processCreateSilent(program.c_str(), folder.c_str(), 2, arguments, &record))
        return StagedAnswer::NotStarted;
    if (Vorn::processWait(record.handle, kStagedAnswerMs) != Vorn::ProcessWaitResult::Exited) {
        Vorn::processForceTerminate(record.pid);
        Vorn::processWait(record.handle, kStagedAnswerMs);
        return StagedAnswer::NoAnswer;
    }
    Vorn::ProcessExitCode code = -1;
    return Vorn::processGetExitCode(record.handle, code) == Vorn::GetExitCodeResult::Ok && code == 0
               ? StagedAnswer::Answered
               : StagedAnswer::NoAnswer;
}

}  // namespace

HRESULT Application::SelfUpdate(bool& terminate) {
    terminate = false;
    QUOR_LOG_TAG(Log::VERBOSE, kSelfUpdateTag, "()");
    if (!Common::ProcessHelper::WaitForProcessesToExit("Orvane", 5000, OwnRootScope()) && !PromptToKillOtherInstances()) {
        terminate = true;
        return S_OK;
    }

    char running[1024];
    if (!Platform::GetExecutablePath(running, sizeof running)) {
        HRESULT hr = Log::Internal::LogGetLastError(kSelfUpdateTag);
        if (SUCCEEDED(hr)) hr = E_FAIL;
        QUOR_LOG_TAG(Log::ERROR, kSelfUpdateTag, "GetModuleFileNameEx failed.");
        return hr;
    }
    for (char* c = running; *c; ++c)
        if (*c == '\\') *c = '/';
    const std::string systemKernel = SystemFolder() + kKernelInBundle;

    if (strncasecmp(running, systemKernel.c_str(), systemKernel.size()) != 0) {
        QUOR_LOG_TAG(Log::USER, kSelfUpdateTag,
                     "Started from non-system directory. Copying temp contents over and restarting updated Orvane\n");
        // This is the staged kernel of the chain: the one process that puts staged files in place.
        BringSystemFolderInLine(false, terminate, true);
        QUOR_LOG_TAG(Log::USER, kSelfUpdateTag, "Starting the updated Orvane in system directory.\n");
        std::vector<std::string> arguments = Arguments();
        arguments.push_back("-noupdate");
        terminate = StartKernel(systemKernel, arguments);
        if (!terminate) QUOR_LOG_TAG(Log::ERROR, kSelfUpdateTag, "CreateProcess failed.");
        return S_OK;
    }

    QUOR_LOG_TAG(Log::USER, kSelfUpdateTag, "Started from system directory. Checking for updates\n");
    bool downloaded = false;
    const HRESULT hr = DownloadFiles(false, terminate, downloaded);
    // A failed download leaves {root}/system as it is and ends the run with its failure.
    if (FAILED(hr)) return hr;
    if (!downloaded) return VerifyFiles(true, terminate);

    const std::string stagedKernel = SystemTempFolder() + kKernelInBundle;
    QUOR_LOG_TAG(Log::USER, kSelfUpdateTag, "Updates to Orvane found! Starting SelfUpdate process.\n");
    // The running kernel is replaced only by a staged kernel that has shown it starts and answers.
    const StagedAnswer answer = AskStagedKernel(stagedKernel);
    if (answer != StagedAnswer::Answered) {
        if (answer == StagedAnswer::NotStarted) QUOR_LOG_TAG(Log::ERROR, kSelfUpdateTag, "CreateProcess failed.");
        QUOR_LOG_TAG(Log::ERROR, kSelfUpdateTag, "The staged kernel %s did not answer; the update is left out.",
                     stagedKernel.c_str());
        ::unlink((SystemTempFolder() + kVersionInfoFileName).c_str());
        terminate = false;
        return S_OK;
    }
    QUOR_LOG_TAG(Log::USER, kSelfUpdateTag, "%s", ("Starting temp executable: " + stagedKernel + "\n").c_str());
    if (!StartKernel(stagedKernel, Arguments())) {
        // This kernel runs the command itself; the staged update is tried again at the next start.
        QUOR_LOG_TAG(Log::ERROR, kSelfUpdateTag, "CreateProcess failed.");
        terminate = false;
        return S_OK;
    }
    QUOR_LOG_TAG(Log::USER, kSelfUpdateTag, "Renaming log file to self_update.log");
    Log::SetLogFile((Common::LocalRootFolder::Get() + "/self_update.log").c_str());
    terminate = true;
    return hr;
}

HRESULT Application::DownloadFiles(bool missingOnly, bool& terminate, bool& filesDownloaded) {
    filesDownloaded = false;
    HRESULT hr = S_OK;
    User::RemoteFileServerHTTP server(hr, Common::GetDownloadURL());
    if (FAILED(hr)) {
        QUOR_LOG_TAG(Log::ERROR, kDownloadTag, "User::RemoteFileServerHTTP::RemoteFileServerHTTP failed (0x%08lx)",
                     static_cast<unsigned long>(static_cast<DWORD>(hr)));
        terminate = true;
        return E_QUOR_HTTP_CONNECTION_FAILED;
    }
    // A quit request ends the list's and the files' downloads at once: nothing is staged then.
    server.SetStopFlag(&Platform::QuitRequestFlag());
    const std::string system = SystemFolder();
    const std::string staged = SystemTempFolder();
    VersionList current, fresh;
    GetVersionInfo(system + kVersionInfoFileName, current);
    hr = DownloadVersionInfoFile(server);
    if (SUCCEEDED(hr) && !server.LastFileLengthConfirmed()) {
        QUOR_LOG_TAG(Log::ERROR, kDownloadTag, "The length of the downloaded %s could not be confirmed.",
                     kVersionInfoFileName);
        ::unlink((staged + kVersionInfoFileName).c_str());
        hr = E_FAIL;
    }
    if (SUCCEEDED(hr) && (!GetVersionInfo(staged + kVersionInfoFileName, fresh) || fresh.empty())) {
        // A list naming no file would remove the whole kernel: it counts as not obtained.
        ::unlink((staged + kVersionInfoFileName).c_str());
        hr = E_FAIL;
    }
    if (FAILED(hr) && Platform::QuitRequested())
        QUOR_LOG_TAG(Log::ERROR, kDownloadTag, "A quit request ended the download of the kernel's list.");
    if (FAILED(hr)) {
        QUOR_LOG_TAG(Log::ERROR, kDownloadTag,
                     "Failed to download the filelist.versioninfo file. Make sure you are connected to the "
                     "internet: (0x%08lx)",
                     static_cast<unsigned long>(static_cast<DWORD>(hr)));
        terminate = true;
        return E_QUOR_HTTP_CONNECTION_FAILED;
    }

    const std::string remote = server.GetDownloadPath() + "/system/";
    // Everything this update downloads shares one bound, a small multiple of the folder it replaces.
    SelfUpdateBudget budget(SelfUpdateByteCap(system));
    QUOR_LOG_TAG(Log::DEBUG, kDownloadTag, "The update's files may take up to %llu bytes.",
                 static_cast<unsigned long long>(budget.Cap()));
    std::set<std::string> fetched;
    for (const VersionInformation& entry : fresh) {
        if (Exists(system + entry.path) && (missingOnly || HoldsEntry(current, entry))) continue;
        const std::string local = staged + entry.path;
        const size_t slash = local.find_last_of('/');
        hr = Vorn::std_mkdir_tree(local.substr(0, slash).c_str()) ? S_OK : E_FAIL;
        if (SUCCEEDED(hr)) hr = server.GetFile(remote + entry.path, local, &budget, false);
        if (SUCCEEDED(hr) && !server.LastFileLengthConfirmed()) {
            // A body that merely ended with its connection may be cut anywhere: never staged.
            QUOR_LOG_TAG(Log::ERROR, kDownloadTag, "The length of the downloaded %s could not be confirmed.",
                         entry.path.c_str());
            hr = E_FAIL;
        }
        if (FAILED(hr)) {
            QUOR_LOG_TAG(Log::ERROR, kDownloadTag, "%s", ("Failed to download update to file: " + entry.path + "\n").c_str());
            // Neither the cut file nor the list that names it may be taken for a staged update.
            ::unlink(local.c_str());
            ::unlink((staged + kVersionInfoFileName).c_str());
            break;
        }
        fetched.insert(entry.path);
        filesDownloaded = true;
    }

    if (SUCCEEDED(hr) && filesDownloaded) {
        // The staging folder becomes a complete copy of the kernel's folder.
        for (const VersionInformation& entry : fresh) {
            if (fetched.count(entry.path) || !HoldsEntry(current, entry)) continue;
            if (!Vorn::std_copy_file((system + entry.path).c_str(), (staged + entry.path).c_str(), false)) {
                QUOR_LOG_TAG(Log::USER, kDownloadTag, "%s",
                             ("Failed to copy over: " + entry.path +
                              ", Make sure file is not write protected or in use. \n").c_str());
                filesDownloaded = false;
                hr = S_OK;
                break;
            }
        }
    }

    if (FAILED(hr) && Platform::QuitRequested())
        QUOR_LOG_TAG(Log::ERROR, kDownloadTag, "A quit request ended the download of the kernel's files.");
    if (FAILED(hr)) {
        QUOR_LOG_TAG(Log::ERROR, kDownloadTag,
                     "Failed while downloading Orvane update. Check your connections stability and/or antivirus: "
                     "(0x%08lx)",
                     static_cast<unsigned long>(static_cast<DWORD>(hr)));
        terminate = true;
        hr = E_QUOR_HTTP_CONNECTION_FAILED;
    }
    return hr;
}

HRESULT Application::VerifyFiles(bool missingOnly, bool& terminate) {
    return BringSystemFolderInLine(missingOnly, terminate, false);
}

HRESULT Application::BringSystemFolderInLine(bool missingOnly, bool& terminate, bool putStagedInPlace) {
    const std::string systemList = SystemFolder() + kVersionInfoFileName;
    const std::string stagedList = SystemTempFolder() + kVersionInfoFileName;
    VersionList current, fresh;
    GetVersionInfo(systemList, current);
    if (!GetVersionInfo(stagedList, fresh)) {
        bool downloaded = false;
        DownloadFiles(missingOnly, terminate, downloaded);
        GetVersionInfo(stagedList, fresh);
    }
    if (fresh.empty()) {
        // Without the server's list there is nothing to compare with: the folder stays as it is.
        QUOR_LOG_TAG(Log::ERROR, kVerifyTag, "No list of the kernel's files to verify against; nothing changed.");
        return S_OK;
    }
    QUOR_LOG_TAG(Log::USER, kVerifyTag, "Copying over new and updated files.\n");
    VersionList result;
    if (putStagedInPlace) {
        MoveUpdatedFiles(current, fresh, result);
        DeleteOldFiles(current, fresh);
    } else {
        // Only the staged kernel of an update chain, which has started from the staged folder,
        // puts staged files in place: a later start never takes what is staged for a whole update.
        for (const VersionInformation& entry : fresh)
            if (!HoldsEntry(current, entry) || !Exists(SystemFolder() + entry.path))
                QUOR_LOG_TAG(Log::DEBUG, kVerifyTag, "%s is left as it is: staged files are put in place by an update only.",
                             entry.path.c_str());
        result = current;
    }
    QUOR_LOG_TAG(Log::USER, kVerifyTag, "Updating current Orvane's version information.\n");
    if (!WriteVersionInfo(systemList, result)) {
        HRESULT failure = S_OK;
        PromptSelfUpdateFailed(failure);
    }
    return S_OK;
}

}  // namespace Quor::Orvane
