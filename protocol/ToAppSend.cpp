#include "protocol/ToAppSend.h"

#include "common/Log.h"
#include "protocol/PacketType.h"
#include "protocol/PacketWriter.h"

namespace Quor::OrvaneProtocol::ToApp {

using Quor::Log::DEBUG;
using Quor::Log::VERBOSE;

namespace {
// A response that carries nothing but its result word.
void SendResult(ISendPacket& transport, DWORD requester, DWORD type, DWORD requestId, HRESULT hr) {
    PacketWriter::Response(type, requestId, hr).SendTo(transport, requester);
}
}  // namespace

void Send::GetVersionResponse(const DWORD requester, const DWORD requestId, const DWORD version) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, 0x%08x)", requester, requestId, version);
    PacketWriter::Response(PACKET_TYPE_GET_VERSION, requestId, S_OK)
        .Word(version)
        .SendTo(m_Transport, requester);
}

void Send::TerminateResponse(const DWORD requester, const DWORD requestId, const HRESULT hr) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, 0x%08x)", requester, requestId, hr);
    SendResult(m_Transport, requester, PACKET_TYPE_TERMINATE, requestId, hr);
}

void Send::EnumerateAvailableProjectsResponse(const DWORD requester, const DWORD requestId, const HRESULT hr,
                                              const std::vector<std::string>& projects) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, 0x%08x, %zu names)", requester, requestId, hr, projects.size());
    PacketWriter::Response(PACKET_TYPE_ENUM_AVAIL_PROJECTS, requestId, hr)
        .Strings(projects)
        .SendTo(m_Transport, requester);
}

void Send::EnumerateAvailableProjectReleasesResponse(const DWORD requester, const DWORD requestId,
                                                     const HRESULT hr, const std::vector<DWORD>& versions) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, 0x%08x, %zu versions)", requester, requestId, hr, versions.size());
    PacketWriter::Response(PACKET_TYPE_ENUM_AVAIL_PROJECT_RELEASES, requestId, hr)
        .Words(versions)
        .SendTo(m_Transport, requester);
}

void Send::EnumerateInstalledProjectsResponse(const DWORD requester, const DWORD requestId, const HRESULT hr,
                                              const std::vector<std::string>& projects) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, 0x%08x, %zu names)", requester, requestId, hr, projects.size());
    PacketWriter::Response(PACKET_TYPE_ENUM_INSTALLED_PROJECTS, requestId, hr)
        .Strings(projects)
        .SendTo(m_Transport, requester);
}

void Send::EnumerateInstalledProjectReleasesResponse(const DWORD requester, const DWORD requestId,
                                                     const HRESULT hr, const std::vector<DWORD>& versions) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, 0x%08x, %zu versions)", requester, requestId, hr, versions.size());
    PacketWriter::Response(PACKET_TYPE_ENUM_INSTALLED_PROJECT_RELEASES, requestId, hr)
        .Words(versions)
        .SendTo(m_Transport, requester);
}

void Send::InstallProjectReleaseResponse(const DWORD requester, const DWORD requestId, const HRESULT hr) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, 0x%08x)", requester, requestId, hr);
    SendResult(m_Transport, requester, PACKET_TYPE_INSTALL_PROJECT_RELEASE, requestId, hr);
}

void Send::UpdateProjectResponse(const DWORD requester, const DWORD requestId, const HRESULT hr,
                                 const DWORD version) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, 0x%08x, 0x%08x)", requester, requestId, hr, version);
    PacketWriter::Response(PACKET_TYPE_UPDATE_PROJECT, requestId, hr)
        .Word(version)
        .SendTo(m_Transport, requester);
}

void Send::RepairResponse(const DWORD requester, const DWORD requestId, const HRESULT hr) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, 0x%08x)", requester, requestId, hr);
    SendResult(m_Transport, requester, PACKET_TYPE_REPAIR, requestId, hr);
}

void Send::ValidateProjectResponse(const DWORD requester, const DWORD requestId, const HRESULT hr) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, 0x%08x)", requester, requestId, hr);
    SendResult(m_Transport, requester, PACKET_TYPE_VALIDATE_PROJECT, requestId, hr);
}

void Send::UninstallProjectReleaseResponse(const DWORD requester, const DWORD requestId, const HRESULT hr) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, 0x%08x)", requester, requestId, hr);
    SendResult(m_Transport, requester, PACKET_TYPE_UNINSTALL_PROJECT_RELEASE, requestId, hr);
}

void Send::EnumerateAvailableSolutionsResponse(const DWORD requester, const DWORD requestId, const HRESULT hr,
                                               const std::vector<std::string>& solutions) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, 0x%08x, %zu names)", requester, requestId, hr, solutions.size());
    PacketWriter::Response(PACKET_TYPE_ENUM_AVAIL_SOLUTIONS, requestId, hr)
        .Strings(solutions)
        .SendTo(m_Transport, requester);
}

void Send::EnumerateAvailableSolutionReleasesResponse(const DWORD requester, const DWORD requestId,
                                                      const HRESULT hr, const std::vector<DWORD>& versions) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, 0x%08x, %zu versions)", requester, requestId, hr, versions.size());
    PacketWriter::Response(PACKET_TYPE_ENUM_AVAIL_SOLUTION_RELEASES, requestId, hr)
        .Words(versions)
        .SendTo(m_Transport, requester);
}

void Send::EnumerateInstalledSolutionsResponse(const DWORD requester, const DWORD requestId, const HRESULT hr,
                                               const std::vector<std::string>& solutions) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, 0x%08x, %zu names)", requester, requestId, hr, solutions.size());
    PacketWriter::Response(PACKET_TYPE_ENUM_INSTALLED_SOLUTIONS, requestId, hr)
        .Strings(solutions)
        .SendTo(m_Transport, requester);
}

void Send::EnumerateInstalledSolutionReleasesResponse(const DWORD requester, const DWORD requestId,
                                                      const HRESULT hr, const std::vector<DWORD>& versions) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, 0x%08x, %zu versions)", requester, requestId, hr, versions.size());
    PacketWriter::Response(PACKET_TYPE_ENUM_INSTALLED_SOLUTION_RELEASES, requestId, hr)
        .Words(versions)
        .SendTo(m_Transport, requester);
}

void Send::InstallSolutionReleaseResponse(const DWORD requester, const DWORD requestId, const HRESULT hr,
                                          const DWORD version) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, 0x%08x, 0x%08x)", requester, requestId, hr, version);
    PacketWriter::Response(PACKET_TYPE_INSTALL_SOLUTION_RELEASE, requestId, hr)
        .Word(version)
        .SendTo(m_Transport, requester);
}

void Send::InstallSolutionReleaseByProjectVersionResponse(const DWORD requester, const DWORD requestId,
                                                          const HRESULT hr, const DWORD version,
                                                          const std::string& response) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, 0x%08x, 0x%08x, %s)", requester, requestId, hr, version, response.c_str());
    PacketWriter::Response(PACKET_TYPE_INSTALL_SOLUTION_RELEASE_BY_PROJECT_VERSION, requestId, hr)
        .Word(version)
        .String(response)
        .SendTo(m_Transport, requester);
}

void Send::UpdateSolutionResponse(const DWORD requester, const DWORD requestId, const HRESULT hr,
                                  const DWORD version) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, 0x%08x, 0x%08x)", requester, requestId, hr, version);
    PacketWriter::Response(PACKET_TYPE_UPDATE_SOLUTION, requestId, hr)
        .Word(version)
        .SendTo(m_Transport, requester);
}

void Send::ValidateSolutionResponse(const DWORD requester, const DWORD requestId, const HRESULT hr) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, 0x%08x)", requester, requestId, hr);
    SendResult(m_Transport, requester, PACKET_TYPE_VALIDATE_SOLUTION, requestId, hr);
}

void Send::UninstallSolutionReleaseResponse(const DWORD requester, const DWORD requestId, const HRESULT hr) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, 0x%08x)", requester, requestId, hr);
    SendResult(m_Transport, requester, PACKET_TYPE_UNINSTALL_SOLUTION_RELEASE, requestId, hr);
}

void Send::CreateProcessResponse(const DWORD requester, const DWORD requestId, const HRESULT hr,
                                 const DWORD processId, const DWORD threadId) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, 0x%08x, 0x%08x, 0x%08x)", requester, requestId, hr, processId, threadId);
    PacketWriter::Response(PACKET_TYPE_CREATE_PROCESS, requestId, hr)
        .Word(processId)
        .Word(threadId)
        .SendTo(m_Transport, requester);
}

void Send::SetLogParametersResponse(const DWORD requester, const DWORD requestId, const HRESULT hr) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, 0x%08x)", requester, requestId, hr);
    SendResult(m_Transport, requester, PACKET_TYPE_SET_LOG_PARAMETERS, requestId, hr);
}

void Send::LockFileResponse(const DWORD requester, const DWORD requestId, const HRESULT hr,
                            const std::string& fileName, const DWORD offset, const DWORD size,
                            const DWORD handle) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, 0x%08x, %s, 0x%08x, 0x%08x, 0x%08x)", requester, requestId, hr,
             fileName.c_str(), offset, size, handle);
    PacketWriter::Response(PACKET_TYPE_LOCK_FILE, requestId, hr)
        .String(fileName)
        .Word(offset)
        .Word(size)
        .Word(handle)
        .SendTo(m_Transport, requester);
}

void Send::UnlockFileResponse(const DWORD requester, const DWORD requestId, const HRESULT hr) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, 0x%08x)", requester, requestId, hr);
    SendResult(m_Transport, requester, PACKET_TYPE_UNLOCK_FILE, requestId, hr);
}

void Send::GetProjectVersionForSolutionReleaseResponse(const DWORD requester, const DWORD requestId,
                                                       const std::string& projectVersion) {
    QUOR_LOG(DEBUG, "(%d, 0x%08x, %s)", requester, requestId, projectVersion.c_str());
    PacketWriter::Response(PACKET_TYPE_GET_PROJECT_VERSION_FOR_SOLUTION_RELEASE, requestId, S_OK)
        .String(projectVersion)
        .SendTo(m_Transport, requester);
}

void Send::RequestProgress(const DWORD requester, const DWORD requestId, const DWORD counter1,
                           const DWORD counter2, const DWORD counter3, const DWORD counter4,
                           const DWORD bytesDownloaded, const DWORD bytesToDownload,
                           const Quor::API::Progress::OperationType operationType,
                           const Quor::API::Progress::StepType stepType, const float elapsedSeconds,
                           const float remainingSeconds, const std::string& currentItem) {
    QUOR_LOG(VERBOSE, "(%d, 0x%08x, %u, %u, %u, %u, %u, %u, %u, %u, %f, %f, %s)", requester, requestId,
             counter1, counter2, counter3, counter4, bytesDownloaded, bytesToDownload,
             static_cast<unsigned>(operationType), static_cast<unsigned>(stepType),
             static_cast<double>(elapsedSeconds), static_cast<double>(remainingSeconds), currentItem.c_str());
    PacketWriter::Response(PACKET_TYPE_REQUEST_PROGRESS, requestId, S_OK)
        .Word(counter1)
        .Word(counter2)
        .Word(counter3)
        .Word(counter4)
        .Word(bytesDownloaded)
        .Word(bytesToDownload)
        .Word(operationType)
        .Word(stepType)
        .Float(elapsedSeconds)
        .Float(remainingSeconds)
        .String(currentItem)
        .SendTo(m_Transport, requester);
}

void Send::GetQuorLibraryResponse(const DWORD requester, const DWORD requestId, const HRESULT hr,
                                  const std::string& path) {
    PacketWriter::Response(PACKET_TYPE_GET_QUOR_LIBRARY, requestId, hr)
        .String(path)
        .SendTo(m_Transport, requester);
}

}  // namespace Quor::OrvaneProtocol::ToApp
