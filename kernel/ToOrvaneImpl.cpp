#include "kernel/ToOrvaneImpl.h"

#include <sys/stat.h>

#include <atomic>
#include <vector>

#include "archive/ReaderLock.h"
#include "common/Log.h"
#include "common/LogText.h"
#include "kernel/JobSetup.h"
#include "kernel/KernelThread.h"
#include "remote/HTTPConnection.h"
#include "remote/ProjectVersionListingCache.h"
#include "remote/RemoteFileServerHTTP.h"
#include "remote/ServerSettings.h"
#include "remote/process/Process.h"

namespace Quor::Orvane {

using Quor::Common::HTTPConnection;
using Quor::Common::LocalFileSystem;
using Quor::User::RemoteFileServerHTTP;

namespace {
constexpr DWORD kNoVersion = 0xFFFFFFFF;
// A transfer below the connection's stall rate (1 KiB/s) for this long is ended.
constexpr int kStallSeconds = 30;
const char* const kLibraryName = "/libMondrel.so";
}  // namespace

ToOrvaneImpl::ToOrvaneImpl(KernelThread& owner, Quor::OrvaneProtocol::ISendPacket& transport)
    : ToOrvaneImpl(owner, transport, Options{}) {}

ToOrvaneImpl::ToOrvaneImpl(KernelThread& owner, Quor::OrvaneProtocol::ISendPacket& transport, Options options)
    : m_Owner(owner), m_Answers(transport), m_Options(std::move(options)) {
    if (!m_Options.engine) m_Options.engine = std::make_shared<Engine>();
}

ToOrvaneImpl::~ToOrvaneImpl() {
    Unlock(m_Locks.TakeEvery());
}

void ToOrvaneImpl::ConnectionEnded(DWORD connection) {
    QUOR_LOG(Quor::Log::DEBUG, "(%u)", connection);
    const std::vector<DWORD> handles = m_Locks.TakeAll(connection);
    if (!handles.empty())
        QUOR_LOG(Quor::Log::DEBUG, "Releasing %zu file locks of ended connection %u", handles.size(),
                 connection);
    Unlock(handles);
}

void ToOrvaneImpl::Unlock(const std::vector<DWORD>& handles) {
    for (const DWORD handle : handles)
        if (FAILED(m_Options.engine->UnlockFile(handle)))
            QUOR_LOG(Quor::Log::ERROR, "Failed to release file lock %u", handle);
}

void ToOrvaneImpl::SetCancel(bool cancel) {
    QUOR_LOG(Quor::Log::DEBUG, "%d", cancel ? 1 : 0);
    std::atomic_ref<signed char>(m_Cancel).store(cancel ? 1 : 0);
}

HRESULT ToOrvaneImpl::Connect(std::shared_ptr<HTTPConnection>& connection) {
    HRESULT hr = S_OK;
    const std::string& address = Quor::Common::GetDownloadURL();
    if (address.empty()) {
        hr = E_FAIL;  // no content server configured
    } else {
        connection = std::make_shared<HTTPConnection>(hr, address, 80, kStallSeconds, false, nullptr);
        // A Cancel ends the transfer in flight at its next progress call, whatever it fetches.
        connection->SetCancelFlag(CancelFlag());
    }
    if (FAILED(hr)) {
        QUOR_LOG(Quor::Log::ERROR, "Failed to establish HTTP connection");
        connection.reset();
    }
    return hr;
}

template <class Operation>
HRESULT ToOrvaneImpl::WithServer(Operation op) {
    std::shared_ptr<HTTPConnection> connection;
    const HRESULT hr = Connect(connection);
    if (FAILED(hr)) return hr;
    RemoteFileServerHTTP server(connection, Quor::User::RemoteFileServerHTTP::kJobTransfersInFlight);
    // A listing cut by a Cancel fails as a lost connection: the client is answered its cancel.
    return CancelledAsAbort(op(server));
}

template <class Operation>
HRESULT ToOrvaneImpl::WithServerAndProgress(DWORD requester, DWORD requestId, Operation op) {
    return WithServer([&](RemoteFileServerHTTP& server) {
        ForwardUpdateProgress forward(requester, requestId, m_Answers);
        JobProgress progress(forward, CancelFlag());
        return op(server, progress.Get());
    });
}

HRESULT ToOrvaneImpl::CancelledAsAbort(HRESULT hr) {
    if (FAILED(hr) && std::atomic_ref<signed char>(m_Cancel).load() != 0) return E_ABORT;
    return hr;
}

void ToOrvaneImpl::ListAvailableNames(DWORD requester, DWORD requestId, AvailableNames list,
                                      NamesAnswer answer) {
    std::vector<std::string> names;
    const HRESULT hr =
        WithServer([&](RemoteFileServerHTTP& server) { return ((*m_Options.engine).*list)(server, names); });
    (m_Answers.*answer)(requester, requestId, hr, names);
}

void ToOrvaneImpl::ListInstalledNames(DWORD requester, DWORD requestId, InstalledNames list,
                                      NamesAnswer answer) {
    std::vector<std::string> names;
    LocalFileSystem fs;
    const HRESULT hr = ((*m_Options.engine).*list)(fs, names);
    (m_Answers.*answer)(requester, requestId, hr, names);
}

void ToOrvaneImpl::Validate(DWORD requester, DWORD requestId, const std::string& name, Validation validate,
                            ResultAnswer answer) {
    HRESULT hr = E_FAIL;
    LocalFileSystem fs;
    if (!IsRefusedName(name)) {
        hr = WithServerAndProgress(
            requester, requestId,
            [&](RemoteFileServerHTTP& server, Quor::User::AutoUpdateProgress& progress) {
                return ((*m_Options.engine).*validate)(name, fs, server, progress);
            });
    }
    (m_Answers.*answer)(requester, requestId, hr);
}

void ToOrvaneImpl::ListReleases(DWORD requester, DWORD requestId, const std::string& name,
                                AvailableReleases list, VersionsAnswer answer) {
    std::vector<DWORD> versions;
    HRESULT hr = E_FAIL;
    if (!IsRefusedName(name))
        hr = WithServer([&](RemoteFileServerHTTP& server) {
            return ((*m_Options.engine).*list)(name, server, versions);
        });
    if (FAILED(hr)) versions.clear();
    (m_Answers.*answer)(requester, requestId, hr, versions);
}

void ToOrvaneImpl::ListReleases(DWORD requester, DWORD requestId, const std::string& name,
                                InstalledReleases list, VersionsAnswer answer) {
    std::vector<DWORD> versions;
    HRESULT hr = E_FAIL;
    LocalFileSystem fs;
    if (!IsRefusedName(name)) hr = ((*m_Options.engine).*list)(name, fs, versions);
    if (FAILED(hr)) versions.clear();
    (m_Answers.*answer)(requester, requestId, hr, versions);
}

void ToOrvaneImpl::GetVersionRequest(const DWORD requester, const DWORD requestId) {
    QUOR_LOG(Quor::Log::DEBUG, "(%u, 0x%08x)", requester, requestId);
    m_Answers.GetVersionResponse(requester, requestId, 0);
}

void ToOrvaneImpl::TerminateRequest(const DWORD requester, const DWORD requestId) {
    QUOR_LOG(Quor::Log::DEBUG, "(%u, 0x%08x)", requester, requestId);
    m_Owner.SetStop();
    m_Answers.TerminateResponse(requester, requestId, S_OK);
}

void ToOrvaneImpl::EnumerateAvailableProjectsRequest(const DWORD requester, const DWORD requestId) {
    QUOR_LOG(Quor::Log::DEBUG, "(%u, 0x%08x)", requester, requestId);
    ListAvailableNames(requester, requestId, &Engine::EnumerateAvailableProjects,
                       &Quor::OrvaneProtocol::IOrvaneToApp::EnumerateAvailableProjectsResponse);
}

void ToOrvaneImpl::EnumerateInstalledProjectsRequest(const DWORD requester, const DWORD requestId) {
    QUOR_LOG(Quor::Log::DEBUG, "(%u, 0x%08x)", requester, requestId);
    ListInstalledNames(requester, requestId, &Engine::EnumerateInstalledProjects,
                       &Quor::OrvaneProtocol::IOrvaneToApp::EnumerateInstalledProjectsResponse);
}

void ToOrvaneImpl::EnumerateAvailableProjectReleasesRequest(const DWORD requester, const DWORD requestId,
                                                            const std::string& project) {
    QUOR_LOG(Quor::Log::DEBUG, "(%u, 0x%08x, %s)", requester, requestId, Quor::Log::CutText(project).c_str());
    ListReleases(requester, requestId, project, &Engine::EnumerateAvailableProjectReleases,
                 &Quor::OrvaneProtocol::IOrvaneToApp::EnumerateAvailableProjectReleasesResponse);
}

void ToOrvaneImpl::EnumerateInstalledProjectReleasesRequest(const DWORD requester, const DWORD requestId,
                                                            const std::string& project) {
    QUOR_LOG(Quor::Log::DEBUG, "(%u, 0x%08x, %s)", requester, requestId, Quor::Log::CutText(project).c_str());
    ListReleases(requester, requestId, project, &Engine::EnumerateInstalledProjectReleases,
                 &Quor::OrvaneProtocol::IOrvaneToApp::EnumerateInstalledProjectReleasesResponse);
}

void ToOrvaneImpl::InstallProjectReleaseRequest(const DWORD requester, const DWORD requestId,
                                                const std::string& project, const DWORD version) {
    QUOR_LOG(Quor::Log::DEBUG, "(%u, 0x%08x, %s, 0x%08x)", requester, requestId, Quor::Log::CutText(project).c_str(), version);
    HRESULT hr = E_FAIL;
    LocalFileSystem fs;
    if (!IsRefusedName(project)) {
        hr = WithServerAndProgress(
            requester, requestId,
            [&](RemoteFileServerHTTP& server, Quor::User::AutoUpdateProgress& progress) {
                return m_Options.engine->InstallProjectRelease(project, version, fs, server, progress);
            });
    }
    m_Answers.InstallProjectReleaseResponse(requester, requestId, hr);
}

void ToOrvaneImpl::UpdateProjectRequest(const DWORD requester, const DWORD requestId,
                                        const std::string& project) {
    QUOR_LOG(Quor::Log::DEBUG, "(%u, 0x%08x, %s)", requester, requestId, Quor::Log::CutText(project).c_str());
    HRESULT hr = E_FAIL;
    DWORD version = kNoVersion;
    LocalFileSystem fs;
    if (!IsRefusedName(project)) {
        hr = WithServerAndProgress(
            requester, requestId,
            [&](RemoteFileServerHTTP& server, Quor::User::AutoUpdateProgress& progress) {
                return m_Options.engine->UpdateProject(project, fs, server, progress, version);
            });
    }
    m_Answers.UpdateProjectResponse(requester, requestId, hr, version);
}

void ToOrvaneImpl::RepairRequest(const DWORD requester, const DWORD requestId, const UINT flags) {
    QUOR_LOG(Quor::Log::DEBUG, "(%u, 0x%08x, 0x%08x)", requester, requestId, flags);
    HRESULT hr = S_OK;
    if (flags != 0) {
        QUOR_LOG(Quor::Log::DEBUG, "Reloading config files");
        hr = Quor::Common::GetSystemSettings().Load();
        if (FAILED(hr)) QUOR_LOG(Quor::Log::ERROR, "Failed to reload system config");
    } else {
        LocalFileSystem fs;
        hr = WithServerAndProgress(
            requester, requestId,
            [&](RemoteFileServerHTTP& server, Quor::User::AutoUpdateProgress& progress) {
                return m_Options.engine->Repair(fs, server, progress);
            });
    }
    m_Answers.RepairResponse(requester, requestId, hr);
}

void ToOrvaneImpl::ValidateProjectRequest(const DWORD requester, const DWORD requestId,
                                          const std::string& project) {
    QUOR_LOG(Quor::Log::DEBUG, "(%u, 0x%08x, %s)", requester, requestId, Quor::Log::CutText(project).c_str());
    Validate(requester, requestId, project, &Engine::ValidateProject,
             &Quor::OrvaneProtocol::IOrvaneToApp::ValidateProjectResponse);
}

void ToOrvaneImpl::UninstallProjectReleaseRequest(const DWORD requester, const DWORD requestId,
                                                  const std::string& project, const DWORD version) {
    QUOR_LOG(Quor::Log::DEBUG, "(%u, 0x%08x, %s, 0x%08x)", requester, requestId, Quor::Log::CutText(project).c_str(), version);
    HRESULT hr = E_FAIL;
    LocalFileSystem fs;
    if (!IsRefusedName(project)) {
        JobProgress progress;  // cannot be cancelled, reports nothing
        hr = m_Options.engine->UninstallProjectRelease(project, version, fs, progress.Get());
    }
    m_Answers.UninstallProjectReleaseResponse(requester, requestId, hr);
}

void ToOrvaneImpl::EnumerateAvailableSolutionsRequest(const DWORD requester, const DWORD requestId) {
    QUOR_LOG(Quor::Log::DEBUG, "(%u, 0x%08x)", requester, requestId);
    ListAvailableNames(requester, requestId, &Engine::EnumerateAvailableSolutions,
                       &Quor::OrvaneProtocol::IOrvaneToApp::EnumerateAvailableSolutionsResponse);
}

void ToOrvaneImpl::EnumerateInstalledSolutionsRequest(const DWORD requester, const DWORD requestId) {
    QUOR_LOG(Quor::Log::DEBUG, "(%u, 0x%08x)", requester, requestId);
    ListInstalledNames(requester, requestId, &Engine::EnumerateInstalledSolutions,
                       &Quor::OrvaneProtocol::IOrvaneToApp::EnumerateInstalledSolutionsResponse);
}

void ToOrvaneImpl::EnumerateAvailableSolutionReleasesRequest(const DWORD requester, const DWORD requestId,
                                                             const std::string& solution) {
    QUOR_LOG(Quor::Log::DEBUG, "(%u, 0x%08x, %s)", requester, requestId, Quor::Log::CutText(solution).c_str());
    ListReleases(requester, requestId, solution, &Engine::EnumerateAvailableSolutionReleases,
                 &Quor::OrvaneProtocol::IOrvaneToApp::EnumerateAvailableSolutionReleasesResponse);
}

void ToOrvaneImpl::EnumerateInstalledSolutionReleasesRequest(const DWORD requester, const DWORD requestId,
                                                             const std::string& solution) {
    QUOR_LOG(Quor::Log::DEBUG, "(%u, 0x%08x, %s)", requester, requestId, Quor::Log::CutText(solution).c_str());
    ListReleases(requester, requestId, solution, &Engine::EnumerateInstalledSolutionReleases,
                 &Quor::OrvaneProtocol::IOrvaneToApp::EnumerateInstalledSolutionReleasesResponse);
}

void ToOrvaneImpl::InstallSolutionReleaseRequest(const DWORD requester, const DWORD requestId,
                                                 const std::string& solution, const DWORD version,
                                                 const std::string& configuration) {
    QUOR_LOG(Quor::Log::DEBUG, "(%u, 0x%08x, %s, 0x%08x, %s)", requester, requestId, Quor::Log::CutText(solution).c_str(),
             version, Quor::Log::CutText(configuration).c_str());
    HRESULT hr = E_FAIL;
    DWORD settled = kNoVersion;
    LocalFileSystem fs;
    if (!IsRefusedName(solution) && !IsRefusedName(configuration)) {
        hr = WithServerAndProgress(
            requester, requestId,
            [&](RemoteFileServerHTTP& server, Quor::User::AutoUpdateProgress& progress) {
                return m_Options.engine->InstallSolutionRelease(solution, version, configuration, fs, server,
                                                                progress, settled);
            });
    }
    m_Answers.InstallSolutionReleaseResponse(requester, requestId, hr, settled);
}

void ToOrvaneImpl::UpdateSolutionRequest(const DWORD requester, const DWORD requestId,
                                         const std::string& solution, const std::string& configuration) {
    QUOR_LOG(Quor::Log::DEBUG, "(%u, 0x%08x, %s, %s)", requester, requestId, Quor::Log::CutText(solution).c_str(),
             Quor::Log::CutText(configuration).c_str());
    HRESULT hr = E_FAIL;
    DWORD version = kNoVersion;
    LocalFileSystem fs;
    if (!IsRefusedName(solution) && !IsRefusedName(configuration)) {
        hr = WithServerAndProgress(
            requester, requestId,
            [&](RemoteFileServerHTTP& server, Quor::User::AutoUpdateProgress& progress) {
                return m_Options.engine->UpdateSolution(solution, configuration, fs, server, progress,
                                                        version);
            });
        if (SUCCEEDED(hr)) m_LatestSolutionVersions[solution] = version;
    }
    m_Answers.UpdateSolutionResponse(requester, requestId, hr, version);
}

void ToOrvaneImpl::ValidateSolutionRequest(const DWORD requester, const DWORD requestId,
                                           const std::string& solution) {
    QUOR_LOG(Quor::Log::DEBUG, "(%u, 0x%08x, %s)", requester, requestId, Quor::Log::CutText(solution).c_str());
    Validate(requester, requestId, solution, &Engine::ValidateSolution,
             &Quor::OrvaneProtocol::IOrvaneToApp::ValidateSolutionResponse);
}

void ToOrvaneImpl::UninstallSolutionReleaseRequest(const DWORD requester, const DWORD requestId,
                                                   const std::string& solution, const DWORD version) {
    QUOR_LOG(Quor::Log::DEBUG, "(%u, 0x%08x, %s, 0x%08x)", requester, requestId, Quor::Log::CutText(solution).c_str(), version);
    HRESULT hr = E_FAIL;
    LocalFileSystem fs;
    if (!IsRefusedName(solution)) {
        ForwardUpdateProgress forward(requester, requestId, m_Answers);
        JobProgress progress(forward, CancelFlag());
        hr = m_Options.engine->UninstallSolutionRelease(solution, version, fs, progress.Get());
    }
    m_Answers.UninstallSolutionReleaseResponse(requester, requestId, hr);
}

void ToOrvaneImpl::CreateProcessRequest(const DWORD requester, const DWORD requestId, const std::string& name,
                                        const DWORD version, const std::string& executable,
                                        const std::string& arguments) {
    QUOR_LOG(Quor::Log::DEBUG, "(%u, 0x%08x, %s, 0x%08x, %s, %s)", requester, requestId, Quor::Log::CutText(name).c_str(),
             version, Quor::Log::CutText(executable).c_str(), Quor::Log::CutText(arguments).c_str());
    HRESULT hr = E_FAIL;
    DWORD processId = 0;
    DWORD threadId = 0;
    LocalFileSystem fs;
    if (!IsRefusedName(name) && !IsRefusedRelativeName(executable))
        hr = m_Options.engine->CreateProcess(name, version, executable, arguments, fs, processId, threadId);
    if (FAILED(hr)) processId = threadId = 0;
    m_Answers.CreateProcessResponse(requester, requestId, hr, processId, threadId);
}

void ToOrvaneImpl::SetLogParametersRequest(const DWORD requester, const DWORD requestId,
                                           const UINT parameters) {
    QUOR_LOG(Quor::Log::DEBUG, "(%u, 0x%08x, %u)", requester, requestId, parameters);
    const HRESULT hr = m_Options.engine->SetLogParameters(parameters);
    m_Answers.SetLogParametersResponse(requester, requestId, hr);
}

void ToOrvaneImpl::LockFileRequest(const DWORD requester, const DWORD requestId, const std::string& project,
                                   const DWORD version, const std::string& path) {
    QUOR_LOG(Quor::Log::DEBUG, "(%u, 0x%08x, %s, 0x%08x, %s)", requester, requestId, Quor::Log::CutText(project).c_str(), version,
             Quor::Log::CutText(path).c_str());
    HRESULT hr = E_FAIL;
    std::string file;
    DWORD offset = 0;
    DWORD size = 0;
    DWORD handle = Quor::User::kNoLockHandle;
    if (m_Locks.IsFull(requester)) {
        QUOR_LOG(Quor::Log::ERROR, "Connection %u holds %zu file locks already, refusing another", requester,
                 m_Locks.Held(requester));
    } else if (!IsRefusedName(project) && !IsRefusedReaderPath(path)) {
        hr = m_Options.engine->LockFile(project, version, path, m_ReleaseManifestCache, file, offset, size,
                                        handle);
        if (SUCCEEDED(hr) && handle != Quor::User::kNoLockHandle) m_Locks.Add(requester, handle);
    }
    m_Answers.LockFileResponse(requester, requestId, hr, file, offset, size, handle);
}

void ToOrvaneImpl::UnlockFileRequest(const DWORD requester, const DWORD requestId, const DWORD handle) {
    QUOR_LOG(Quor::Log::DEBUG, "(%u, 0x%08x)", requester, requestId);
    HRESULT hr = E_FAIL;
    // 0xFFFFFFFF is "no handle", which anybody may give back.
    if (handle != Quor::User::kNoLockHandle && !m_Locks.Take(requester, handle))
        QUOR_LOG(Quor::Log::ERROR, "Connection %u holds no file lock %u", requester, handle);
    else
        hr = m_Options.engine->UnlockFile(handle);
    m_Answers.UnlockFileResponse(requester, requestId, hr);
}

void ToOrvaneImpl::GetProjectVersionForSolutionReleaseRequest(const DWORD requester, const DWORD requestId,
                                                              const std::string& solution,
                                                              const DWORD version) {
    QUOR_LOG(Quor::Log::DEBUG, "(%u, 0x%08x, %s, %u)", requester, requestId, Quor::Log::CutText(solution).c_str(), version);
    std::string projectVersion;
    std::shared_ptr<HTTPConnection> connection;
    if (!IsRefusedName(solution) && SUCCEEDED(Connect(connection))) {
        Quor::Common::ProjectVersionListing listing;
        if (FAILED(Quor::Common::ProjectVersionListingCache::GetSolutionListing(*connection, solution,
                                                                                listing))) {
            QUOR_LOG(Quor::Log::ERROR, "Failed to get project version listing for %s", Quor::Log::CutText(solution).c_str());
        } else if (FAILED(listing.GetProjectVersion(version, projectVersion))) {
            QUOR_LOG(Quor::Log::ERROR, "Failed to get project version for %s", Quor::Log::CutText(solution).c_str());
            projectVersion.clear();
        }
    }
    m_Answers.GetProjectVersionForSolutionReleaseResponse(requester, requestId, projectVersion);
}

void ToOrvaneImpl::CancelRequest(const DWORD requester, const DWORD requestId) {
    // Cancels are taken by the request server before they could reach a handler.
    QUOR_LOG(Quor::Log::DEBUG, "(%u, 0x%08x)", requester, requestId);
}

void ToOrvaneImpl::GetQuorLibraryRequest(const DWORD requester, const DWORD requestId) {
    QUOR_LOG(Quor::Log::DEBUG, "(requester=%u, requestId=0x%08x)", requester, requestId);
    HRESULT hr = E_FAIL;
    std::string path;
    std::string folder = m_Options.libraryFolder;
    if (folder.empty()) {
        char buffer[1024] = {};
        if (Vorn::processGetModuleDirectory(sizeof buffer, buffer)) folder = buffer;
    }
    if (!folder.empty() && folder.size() + std::string(kLibraryName).size() < 1024) {
        path = folder + kLibraryName;
        struct stat status {};
        if (::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode)) hr = S_OK;
    }
    if (FAILED(hr)) path.clear();
    m_Answers.GetQuorLibraryResponse(requester, requestId, hr, path);
}

}  // namespace Quor::Orvane
