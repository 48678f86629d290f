// The game-version interface for C callers: one main object, one running install-or-uninstall and
// one running preview in static state, polled as JSON texts. The static state is taken down at exit
// in reverse order (running requests cancel themselves as they are dropped, then the main object
// ends its threads), before the services it uses are destroyed.
#include "api/GameVersion.h"

#include <cstdlib>
#include <memory>
#include <string>

#include "api/Blocking.h"
#include "api/ProgressHolder.h"
#include "api/RPC/IManager.h"
#include "common/LocalDirectoryStructure.h"
#include "common/LocalFileSystem.h"
#include "common/Log.h"
#include "common/ReleaseVersion.h"
#include "common/SettingsFile.h"
#include "foundation/CStd/CStdStrings.h"
#include "foundation/api/IMain.h"

extern "C" {
const char* HARDCODED_GAME_SLN_NAME = "kiv_game_client_sln";
const char* HARDCODED_GAME_EXE_NAME = "Kindrel.exe";
}

namespace {

using Quor::API::IMain;
using Request = Quor::API::RPC::IInstallSolutionReleaseByProjectVersion;
using Quor::Log::ERROR;
using Quor::Log::VERBOSE;

const char* const kSuccessText = "{\"result\":\"SUCCESS\"}";
const char* const kFailureText = "{\"result\":\"FAILURE\"}";
const char* const kCalculatingText = "{\"result\":\"CALCULATING\"}";

std::shared_ptr<IMain> staticMain;
std::shared_ptr<ProgressHolder> progressHolder = std::make_shared<ProgressHolder>();
std::shared_ptr<Request> lastInstallRequest;
bool lastInstallResult = false;
std::shared_ptr<Request> lastPreviewRequest;
std::string lastPreviewResponse;

// Runs at exit before the services the main object uses (log, singletons made after load) are
// destroyed: it is registered only once the main object exists.
void TearDownStaticState() {
    lastPreviewResponse.clear();
    lastPreviewRequest.reset();
    lastInstallRequest.reset();
    progressHolder.reset();
    staticMain.reset();
}

// Copies text into the caller's buffer, cut to fit and terminated; false when it did not fit.
bool CopyText(const std::string& text, char* buffer, const unsigned size) {
    if (buffer == nullptr || size == 0) return false;
    Vorn::std_strcpy(buffer, size, text.c_str());
    return text.size() < size;
}

bool CreateStaticMain() {
    if (!staticMain) {
        std::shared_ptr<IMain> main;
        Quor::API::CreateMain(main);
        if (!main) return false;
        staticMain = main;
        static const bool registered = std::atexit(TearDownStaticState) == 0;
        (void)registered;
    }
    return (staticMain->GetFlags() & (IMain::FLAG_RUNTIME_ENVIRONMENT | IMain::FLAG_CONNECTED)) != 0;
}

// The main object, when it is connected to a kernel (requests need one).
bool ConnectedMain() {
    if (!CreateStaticMain()) return false;
    if (staticMain->GetFlags() & IMain::FLAG_CONNECTED) return true;
    QUOR_LOG(ERROR, "%s", "No kernel is connected");
    return false;
}

bool GetLocale(std::string& locale) {
    locale = "en_US";
    HRESULT hr = S_OK;
    Quor::Common::SettingsFile::SettingsFile settings("locale.cfg", hr);
    // The settings file loads a missing file as an empty one: a locale needs the file itself.
    if (FAILED(hr) || !Quor::Common::LocalFileSystem::DoesFileOrDirectoryExist(settings.GetPath())) return false;
    locale = settings.Get("locale");
    return true;
}

std::shared_ptr<Request> StartRequest(const char* version, const std::string& configuration, const bool preview,
                                      const bool uninstall, const std::weak_ptr<ProgressHolder>& listener) {
    return staticMain->GetRPCManager().CreateInstallSolutionReleaseByProjectVersion(
        HARDCODED_GAME_SLN_NAME, version, configuration, preview, uninstall, listener);
}

void ClearLastInstallRequest() {
    lastInstallRequest.reset();
    lastInstallResult = false;
    if (progressHolder) progressHolder->Clear();
}

bool CancelInstallGameShared() {
    ClearLastInstallRequest();
    return true;
}

bool CancelPreviewGameShared() {
    lastPreviewRequest.reset();
    lastPreviewResponse.clear();
    return true;
}

bool GetInstallGameProgressShared(char* text, const unsigned size) {
    if (lastInstallRequest && !lastInstallRequest->GetIsComplete()) {
        std::string progress;
        if (progressHolder) progressHolder->ToString(progress);
        return CopyText(progress, text, size);
    }
    if (lastInstallRequest) {
        {
            const auto result = lastInstallRequest->GetAutoLockResult();
            lastInstallResult = result && SUCCEEDED(result->GetHResult());
        }
        lastInstallRequest.reset();
    }
    return CopyText(lastInstallResult ? kSuccessText : kFailureText, text, size);
}

bool GetPreviewGameProgressShared(char* text, const unsigned size) {
    if (lastPreviewRequest && !lastPreviewRequest->GetIsComplete()) return CopyText(kCalculatingText, text, size);
    if (lastPreviewRequest) {
        {
            const auto result = lastPreviewRequest->GetAutoLockResult();
            lastPreviewResponse.clear();
            if (result) result->GetResp(lastPreviewResponse);
        }
        lastPreviewRequest.reset();
    }
    return CopyText(lastPreviewResponse, text, size);
}

bool StartPreview(const char* version, const bool uninstall) {
    CancelPreviewGameShared();
    if (version == nullptr || !ConnectedMain()) return false;
    std::string configuration;
    if (!uninstall && !GetLocale(configuration)) {
        QUOR_LOG(ERROR, "%s", "Failed to read the locale");
        return false;
    }
    lastPreviewRequest = StartRequest(version, configuration, true, uninstall, {});
    return lastPreviewRequest != nullptr;
}

bool StartInstall(const char* version, const bool uninstall) {
    ClearLastInstallRequest();
    if (version == nullptr || !ConnectedMain()) return false;
    std::string configuration;
    if (!uninstall && !GetLocale(configuration)) {
        QUOR_LOG(ERROR, "%s", "Failed to read the locale");
        return false;
    }
    lastInstallRequest = StartRequest(version, configuration, false, uninstall, progressHolder);
    return lastInstallRequest != nullptr;
}

}  // namespace

extern "C" {

bool GameVersionToPath(const char* version, char* path, unsigned size) {
    QUOR_LOG(VERBOSE, "%s, %u", version ? version : "(null)", size);
    if (version == nullptr || path == nullptr || !ConnectedMain()) return false;
    std::string locale;
    if (!GetLocale(locale)) return false;
    const auto request = StartRequest(version, locale, true, false, {});
    if (!request) return false;
    request->WaitUntilComplete();
    const auto result = request->GetAutoLockResult();
    if (!result || FAILED(result->GetHResult()) || result->GetVer() == Quor::INVALID_RELEASE_VERSION) return false;
    std::string folder;
    if (FAILED(Quor::Common::LocalDirectoryStructure::GetSolutionDeployPath(HARDCODED_GAME_SLN_NAME,
                                                                           result->GetVer(), folder)))
        return false;
    const std::string full = folder + "/" + HARDCODED_GAME_EXE_NAME;
    if (full.size() + 1 > size) return false;
    Vorn::std_strcpy(path, size, full.c_str());
    return true;
}

bool PreviewGameVersion(const char* version) {
    QUOR_LOG(VERBOSE, "%s", version ? version : "(null)");
    return StartPreview(version, false);
}

bool PreviewUninstallGameVersion(const char* version) {
    QUOR_LOG(VERBOSE, "%s", version ? version : "(null)");
    return StartPreview(version, true);
}

bool InstallGameVersion(const char* version) {
    QUOR_LOG(VERBOSE, "%s", version ? version : "(null)");
    return StartInstall(version, false);
}

bool UninstallGameVersion(const char* version) {
    QUOR_LOG(VERBOSE, "%s", version ? version : "(null)");
    return StartInstall(version, true);
}

bool EnumerateUninstallableGameVersions(char* text, unsigned size) {
    QUOR_LOG(VERBOSE, "%u", size);
    if (!ConnectedMain()) return false;
    DWORD version = Quor::INVALID_RELEASE_VERSION;
    std::string response;
    const HRESULT hr = Quor::API::Blocking::InstallSolutionReleaseByProjectVersion(
        *staticMain, HARDCODED_GAME_SLN_NAME, "", "", false, false, version, response);
    const bool copied = CopyText(response, text, size);
    return SUCCEEDED(hr) && copied;
}

bool GetInstallGameProgress(char* text, unsigned size) { return GetInstallGameProgressShared(text, size); }
bool GetUninstallGameProgress(char* text, unsigned size) { return GetInstallGameProgressShared(text, size); }
bool GetPreviewGameProgress(char* text, unsigned size) { return GetPreviewGameProgressShared(text, size); }
bool GetPreviewUninstallGameProgress(char* text, unsigned size) { return GetPreviewGameProgressShared(text, size); }

bool CancelInstallGame(void) { return CancelInstallGameShared(); }
bool CancelUninstallGame(void) { return CancelInstallGameShared(); }
bool CancelPreviewGame(void) { return CancelPreviewGameShared(); }
bool CancelPreviewUninstallGame(void) { return CancelPreviewGameShared(); }

}  // extern "C"
