#include "kernel/Engine.h"

#include "archive/ManagedFileHelper.h"
#include "archive/ReaderLock.h"
#include "common/ReleaseVersion.h"
#include "install/AvailableReleases.h"
#include "install/CreateProcess.h"
#include "install/InstallProjectRelease.h"
#include "install/InstallSolutionRelease.h"
#include "install/InstalledState.h"
#include "install/LogParameters.h"
#include "install/Uninstall.h"
#include "update/RepairDiscover.h"
#include "update/RepairExecute.h"
#include "update/UpdateProject.h"
#include "update/UpdateSolution.h"
#include "update/Validate.h"

namespace Quor::Orvane {

namespace {

// The archive managers live across jobs: a job that failed or was cancelled leaves nothing
// queued in them for the next one, which then starts from the pairs on disk.
HRESULT Settled(HRESULT hr) {
    if (FAILED(hr)) Quor::User::ManagedFileHelper::DiscardChanges();
    return hr;
}

}  // namespace

HRESULT Engine::EnumerateAvailableProjects(Server& server, std::vector<std::string>& names) {
    return Quor::User::EnumerateAvailableProjects(server, names);
}

HRESULT Engine::EnumerateInstalledProjects(FileSystem& fs, std::vector<std::string>& names) {
    return Quor::User::EnumerateInstalledProjects(fs, names);
}

HRESULT Engine::EnumerateAvailableProjectReleases(const std::string& project, Server& server,
                                                  std::vector<DWORD>& versions) {
    return Quor::User::EnumerateAvailableProjectReleases(project, server, versions, 0);
}

HRESULT Engine::EnumerateInstalledProjectReleases(const std::string& project, FileSystem& fs,
                                                  std::vector<DWORD>& versions) {
    return Quor::User::EnumerateInstalledProjectReleases(project, fs, versions, false);
}

HRESULT Engine::EnumerateAvailableSolutions(Server& server, std::vector<std::string>& names) {
    return Quor::User::EnumerateAvailableSolutions(server, names);
}

HRESULT Engine::EnumerateInstalledSolutions(FileSystem& fs, std::vector<std::string>& names) {
    return Quor::User::EnumerateInstalledSolutions(fs, names);
}

HRESULT Engine::EnumerateAvailableSolutionReleases(const std::string& solution, Server& server,
                                                   std::vector<DWORD>& versions) {
    return Quor::User::EnumerateAvailableSolutionReleases(solution, server, versions, 0);
}

HRESULT Engine::EnumerateInstalledSolutionReleases(const std::string& solution, FileSystem& fs,
                                                   std::vector<DWORD>& versions) {
    return Quor::User::EnumerateInstalledSolutionReleases(solution, fs, versions, false);
}

HRESULT Engine::InstallProjectRelease(const std::string& project, DWORD version, FileSystem& fs,
                                      Server& server, Progress& progress) {
    const Quor::User::InstallProjectRelease::InputParameters input{project, version, fs, server, progress};
    const Quor::User::InstallProjectRelease::Discover discover(input);
    const Quor::User::InstallProjectRelease::Execute execute(discover);
    return Settled(execute.m_hr);
}

HRESULT Engine::UpdateProject(const std::string& project, FileSystem& fs, Server& server, Progress& progress,
                              DWORD& version) {
    const Quor::User::UpdateProject::InputParameters input{project, Quor::INVALID_RELEASE_VERSION,
                                                           Quor::INVALID_RELEASE_VERSION, fs, server, progress};
    const Quor::User::UpdateProject::Discover discover(input);
    const Quor::User::UpdateProject::Execute execute(discover, nullptr, &version);
    return Settled(execute.m_hr);
}

HRESULT Engine::Repair(FileSystem& fs, Server& server, Progress& progress) {
    const Quor::User::Repair::InputParameters input{0, fs, server, progress};
    Quor::User::Repair::Discover discover(input);
    const Quor::User::Repair::Execute execute(discover);
    return Settled(execute.m_hr);
}

HRESULT Engine::ValidateProject(const std::string& project, FileSystem& fs, Server& server, Progress& progress) {
    return Settled(Quor::User::ValidateProject(project, fs, server, progress));
}

HRESULT Engine::UninstallProjectRelease(const std::string& project, DWORD version, FileSystem& fs,
                                        Progress& progress) {
    return Settled(Quor::User::UninstallProjectRelease(project, version, fs, progress));
}

HRESULT Engine::InstallSolutionRelease(const std::string& solution, DWORD version,
                                       const std::string& configuration, FileSystem& fs, Server& server,
                                       Progress& progress, DWORD& settled) {
    const Quor::User::InstallSolutionRelease::InputParameters input{solution, version, configuration,
                                                                    fs,       server,  progress};
    const Quor::User::InstallSolutionRelease::Discover discover(input);
    const Quor::User::InstallSolutionRelease::Execute execute(discover);
    settled = discover.m_ReleaseVersion;
    return Settled(execute.m_hr);
}

HRESULT Engine::DiscoverSolutionRelease(const std::string& solution, DWORD version,
                                        const std::string& configuration, FileSystem& fs, Server& server,
                                        Progress& progress, SolutionDiscovery& discovery) {
    const Quor::User::InstallSolutionRelease::InputParameters input{solution, version, configuration,
                                                                    fs,       server,  progress};
    const Quor::User::InstallSolutionRelease::Discover discover(input);
    discovery.alreadyInstalled = discover.m_AlreadyInstalled;
    discovery.version = discover.m_ReleaseVersion;
    return Settled(discover.m_hr);
}

HRESULT Engine::UpdateSolution(const std::string& solution, const std::string& configuration, FileSystem& fs,
                               Server& server, Progress& progress, DWORD& version) {
    const Quor::User::UpdateSolution::InputParameters input{
        solution, configuration, Quor::INVALID_RELEASE_VERSION, fs, server, progress};
    const Quor::User::UpdateSolution::Discover discover(input);
    const Quor::User::UpdateSolution::Execute execute(discover, &version);
    return Settled(execute.m_hr);
}

HRESULT Engine::ValidateSolution(const std::string& solution, FileSystem& fs, Server& server, Progress& progress) {
    return Settled(Quor::User::ValidateSolution(solution, fs, server, progress));
}

HRESULT Engine::UninstallSolutionRelease(const std::string& solution, DWORD version, FileSystem& fs,
                                         Progress& progress) {
    return Settled(Quor::User::UninstallSolutionRelease(solution, version, fs, progress));
}

HRESULT Engine::CreateProcess(const std::string& name, DWORD version, const std::string& executable,
                              const std::string& arguments, FileSystem& fs, DWORD& processId, DWORD& threadId) {
    return Quor::User::CreateProcess(name, version, executable, arguments, fs, processId, threadId);
}

HRESULT Engine::SetLogParameters(UINT level) { return Quor::User::SetLogParameters(level); }

HRESULT Engine::LockFile(const std::string& project, DWORD version, const std::string& path,
                         Quor::Common::ReleaseManifestCache& cache, std::string& file, DWORD& offset,
                         DWORD& size, DWORD& handle) {
    return Quor::User::LockFile(project, version, path, cache, file, offset, size, handle);
}

HRESULT Engine::UnlockFile(DWORD handle) {
    return Quor::User::UnlockFile(handle);
}

}  // namespace Quor::Orvane
