#include "protocol/ToOrvaneSend.h"

#include "common/Log.h"
#include "protocol/PacketType.h"
#include "protocol/PacketWriter.h"

namespace Quor::OrvaneProtocol::ToOrvane {

using Quor::Log::DEBUG;

void Send::GetVersionRequest(const DWORD requester, const DWORD requestId) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x)", requester, requestId);
    PacketWriter::Request(PACKET_TYPE_GET_VERSION, requestId).SendTo(m_Transport, requester);
}

void Send::TerminateRequest(const DWORD requester, const DWORD requestId) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x)", requester, requestId);
    PacketWriter::Request(PACKET_TYPE_TERMINATE, requestId).SendTo(m_Transport, requester);
}

void Send::EnumerateAvailableProjectsRequest(const DWORD requester, const DWORD requestId) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x)", requester, requestId);
    PacketWriter::Request(PACKET_TYPE_ENUM_AVAIL_PROJECTS, requestId).SendTo(m_Transport, requester);
}

void Send::EnumerateInstalledProjectsRequest(const DWORD requester, const DWORD requestId) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x)", requester, requestId);
    PacketWriter::Request(PACKET_TYPE_ENUM_INSTALLED_PROJECTS, requestId).SendTo(m_Transport, requester);
}

void Send::EnumerateAvailableProjectReleasesRequest(const DWORD requester, const DWORD requestId,
                                                    const std::string& project) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, %s)", requester, requestId, project.c_str());
    PacketWriter::Request(PACKET_TYPE_ENUM_AVAIL_PROJECT_RELEASES, requestId)
        .String(project)
        .SendTo(m_Transport, requester);
}

void Send::EnumerateInstalledProjectReleasesRequest(const DWORD requester, const DWORD requestId,
                                                    const std::string& project) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, %s)", requester, requestId, project.c_str());
    PacketWriter::Request(PACKET_TYPE_ENUM_INSTALLED_PROJECT_RELEASES, requestId)
        .String(project)
        .SendTo(m_Transport, requester);
}

void Send::InstallProjectReleaseRequest(const DWORD requester, const DWORD requestId,
                                        const std::string& project, const DWORD version) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, %s, 0x%08x)", requester, requestId, project.c_str(), version);
    PacketWriter::Request(PACKET_TYPE_INSTALL_PROJECT_RELEASE, requestId)
        .String(project)
        .Word(version)
        .SendTo(m_Transport, requester);
}

void Send::UpdateProjectRequest(const DWORD requester, const DWORD requestId, const std::string& project) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, %s)", requester, requestId, project.c_str());
    PacketWriter::Request(PACKET_TYPE_UPDATE_PROJECT, requestId)
        .String(project)
        .SendTo(m_Transport, requester);
}

void Send::RepairRequest(const DWORD requester, const DWORD requestId, const UINT flags) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, 0x%08x)", requester, requestId, flags);
    PacketWriter::Request(PACKET_TYPE_REPAIR, requestId).Word(flags).SendTo(m_Transport, requester);
}

void Send::ValidateProjectRequest(const DWORD requester, const DWORD requestId, const std::string& project) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, %s)", requester, requestId, project.c_str());
    PacketWriter::Request(PACKET_TYPE_VALIDATE_PROJECT, requestId)
        .String(project)
        .SendTo(m_Transport, requester);
}

void Send::UninstallProjectReleaseRequest(const DWORD requester, const DWORD requestId,
                                          const std::string& project, const DWORD version) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, %s, 0x%08x)", requester, requestId, project.c_str(), version);
    PacketWriter::Request(PACKET_TYPE_UNINSTALL_PROJECT_RELEASE, requestId)
        .String(project)
        .Word(version)
        .SendTo(m_Transport, requester);
}

void Send::EnumerateAvailableSolutionsRequest(const DWORD requester, const DWORD requestId) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x)", requester, requestId);
    PacketWriter::Request(PACKET_TYPE_ENUM_AVAIL_SOLUTIONS, requestId).SendTo(m_Transport, requester);
}

void Send::EnumerateInstalledSolutionsRequest(const DWORD requester, const DWORD requestId) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x)", requester, requestId);
    PacketWriter::Request(PACKET_TYPE_ENUM_INSTALLED_SOLUTIONS, requestId).SendTo(m_Transport, requester);
}

void Send::EnumerateAvailableSolutionReleasesRequest(const DWORD requester, const DWORD requestId,
                                                     const std::string& solution) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, %s)", requester, requestId, solution.c_str());
    PacketWriter::Request(PACKET_TYPE_ENUM_AVAIL_SOLUTION_RELEASES, requestId)
        .String(solution)
        .SendTo(m_Transport, requester);
}

void Send::EnumerateInstalledSolutionReleasesRequest(const DWORD requester, const DWORD requestId,
                                                     const std::string& solution) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, %s)", requester, requestId, solution.c_str());
    PacketWriter::Request(PACKET_TYPE_ENUM_INSTALLED_SOLUTION_RELEASES, requestId)
        .String(solution)
        .SendTo(m_Transport, requester);
}

void Send::InstallSolutionReleaseRequest(const DWORD requester, const DWORD requestId,
                                         const std::string& solution, const DWORD version,
                                         const std::string& configuration) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, %s, 0x%08x, %s)", requester, requestId, solution.c_str(), version,
             configuration.c_str());
    PacketWriter::Request(PACKET_TYPE_INSTALL_SOLUTION_RELEASE, requestId)
        .String(solution)
        .Word(version)
        .String(configuration)
        .SendTo(m_Transport, requester);
}

void Send::InstallSolutionReleaseByProjectVersionRequest(const DWORD requester, const DWORD requestId,
                                                         const std::string& solution,
                                                         const std::string& projectVersion,
                                                         const std::string& configuration, const bool preview,
                                                         const bool uninstall) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, %s, %s, %s, %d, %d)", requester, requestId, solution.c_str(),
             projectVersion.c_str(), configuration.c_str(), preview ? 1 : 0, uninstall ? 1 : 0);
    PacketWriter::Request(PACKET_TYPE_INSTALL_SOLUTION_RELEASE_BY_PROJECT_VERSION, requestId)
        .String(solution)
        .String(projectVersion)
        .String(configuration)
        .Flag(preview)
        .Flag(uninstall)
        .SendTo(m_Transport, requester);
}

void Send::UpdateSolutionRequest(const DWORD requester, const DWORD requestId, const std::string& solution,
                                 const std::string& configuration) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, %s, %s)", requester, requestId, solution.c_str(), configuration.c_str());
    PacketWriter::Request(PACKET_TYPE_UPDATE_SOLUTION, requestId)
        .String(solution)
        .String(configuration)
        .SendTo(m_Transport, requester);
}

void Send::ValidateSolutionRequest(const DWORD requester, const DWORD requestId,
                                   const std::string& solution) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, %s)", requester, requestId, solution.c_str());
    PacketWriter::Request(PACKET_TYPE_VALIDATE_SOLUTION, requestId)
        .String(solution)
        .SendTo(m_Transport, requester);
}

void Send::UninstallSolutionReleaseRequest(const DWORD requester, const DWORD requestId,
                                           const std::string& solution, const DWORD version) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, %s, 0x%08x)", requester, requestId, solution.c_str(), version);
    PacketWriter::Request(PACKET_TYPE_UNINSTALL_SOLUTION_RELEASE, requestId)
        .String(solution)
        .Word(version)
        .SendTo(m_Transport, requester);
}

void Send::CreateProcessRequest(const DWORD requester, const DWORD requestId, const std::string& name,
                                const DWORD version, const std::string& executable,
                                const std::string& arguments) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, %s, 0x%08x, %s, %s)", requester, requestId, name.c_str(), version,
             executable.c_str(), arguments.c_str());
    PacketWriter::Request(PACKET_TYPE_CREATE_PROCESS, requestId)
        .String(name)
        .Word(version)
        .String(executable)
        .String(arguments)
        .SendTo(m_Transport, requester);
}

void Send::SetLogParametersRequest(const DWORD requester, const DWORD requestId, const UINT parameters) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, 0x%08x)", requester, requestId, parameters);
    PacketWriter::Request(PACKET_TYPE_SET_LOG_PARAMETERS, requestId)
        .Word(parameters)
        .SendTo(m_Transport, requester);
}

void Send::LockFileRequest(const DWORD requester, const DWORD requestId, const std::string& project,
                           const DWORD version, const std::string& path) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, %s, 0x%08x, %s)", requester, requestId, project.c_str(), version,
             path.c_str());
    PacketWriter::Request(PACKET_TYPE_LOCK_FILE, requestId)
        .String(project)
        .Word(version)
        .String(path)
        .SendTo(m_Transport, requester);
}

void Send::UnlockFileRequest(const DWORD requester, const DWORD requestId, const DWORD handle) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, 0x%08x)", requester, requestId, handle);
    PacketWriter::Request(PACKET_TYPE_UNLOCK_FILE, requestId).Word(handle).SendTo(m_Transport, requester);
}

void Send::GetProjectVersionForSolutionReleaseRequest(const DWORD requester, const DWORD requestId,
                                                      const std::string& solution, const DWORD version) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, %s, 0x%08x)", requester, requestId, solution.c_str(), version);
    PacketWriter::Request(PACKET_TYPE_GET_PROJECT_VERSION_FOR_SOLUTION_RELEASE, requestId)
        .String(solution)
        .Word(version)
        .SendTo(m_Transport, requester);
}

void Send::CancelRequest(const DWORD requester, const DWORD requestId) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x)", requester, requestId);
    PacketWriter::Request(PACKET_TYPE_CANCEL, requestId).SendTo(m_Transport, requester);
}

void Send::GetQuorLibraryRequest(const DWORD requester, const DWORD requestId) {
    QUOR_LOG(DEBUG, "(requester=%d, requestId=0x%08x)", requester, requestId);
    PacketWriter::Request(PACKET_TYPE_GET_QUOR_LIBRARY, requestId).SendTo(m_Transport, requester);
}

}  // namespace Quor::OrvaneProtocol::ToOrvane
