#include "kernel/Engine.h"

#include "archive/ReaderLock.h"
#include "common/Log.h"
#include "install/AvailableReleases.h"
#include "install/InstallProjectRelease.h"
#include "install/InstalledState.h"

namespace Quor::Orvane {

namespace {

HRESULT NotAvailable(const char* operation) {
    QUOR_LOG(Quor::Log::ERROR, "%s is not available yet", operation);
    return E_NOTIMPL;
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

HRESULT Engine::InstallProjectRelease(const std::string& project, DWORD version, FileSystem& fs, Server& server,
                                      Progress& progress) {
    const Quor::User::InstallProjectRelease::InputParameters input{project, version, fs, server, progress};
    const Quor::User::InstallProjectRelease::Discover discover(input);
    if (FAILED(discover.m_hr)) return discover.m_hr;
    const Quor::User::InstallProjectRelease::Execute execute(discover);
    return execute.m_hr;
}

HRESULT Engine::UpdateProject(const std::string&, FileSystem&, Server&, Progress&, DWORD&) {
    return NotAvailable("Project update");
}

HRESULT Engine::Repair(FileSystem&, Server&, Progress&) {
    return NotAvailable("Repair");
}

HRESULT Engine::ValidateProject(const std::string&, FileSystem&, Server&, Progress&) {
    return NotAvailable("Project validation");
}

HRESULT Engine::UninstallProjectRelease(const std::string&, DWORD, FileSystem&, Progress&) {
    return NotAvailable("Project release uninstall");
}

HRESULT Engine::InstallSolutionRelease(const std::string&, DWORD, const std::string&, FileSystem&, Server&,
                                       Progress&, DWORD&) {
    return NotAvailable("Solution release installation");
}

HRESULT Engine::DiscoverSolutionRelease(const std::string&, DWORD, const std::string&, FileSystem&, Server&,
                                        Progress&, SolutionDiscovery&) {
    return NotAvailable("Solution release discovery");
}

HRESULT Engine::UpdateSolution(const std::string&, const std::string&, FileSystem&, Server&, Progress&,
                               DWORD&) {
    return NotAvailable("Solution update");
}

HRESULT Engine::ValidateSolution(const std::string&, FileSystem&, Server&, Progress&) {
    return NotAvailable("Solution validation");
}

HRESULT Engine::UninstallSolutionRelease(const std::string&, DWORD, FileSystem&, Progress&) {
    return NotAvailable("Solution release uninstall");
}

HRESULT Engine::CreateProcess(const std::string&, DWORD, const std::string&, const std::string&, FileSystem&,
                              DWORD&, DWORD&) {
    return NotAvailable("Starting a program of a release");
}

HRESULT Engine::SetLogParameters(UINT level) {
    Quor::Log::SetLogLevel(static_cast<Quor::Log::TYPE>(level));
    return S_OK;
}

HRESULT Engine::LockFile(const std::string& project, DWORD version, const std::string& path,
                         Quor::Common::ReleaseManifestCache& cache, std::string& file, DWORD& offset,
                         DWORD& size, DWORD& handle) {
    return Quor::User::LockFile(project, version, path, cache, file, offset, size, handle);
}

HRESULT Engine::UnlockFile(DWORD handle) {
    return Quor::User::UnlockFile(handle);
}

}  // namespace Quor::Orvane
