#include "kernel/FailureAnswer.h"

#include <string>
#include <vector>

#include "protocol/PacketType.h"

namespace Quor::Orvane {

using namespace Quor::OrvaneProtocol;

void AnswerFailure(IOrvaneToApp& answers, DWORD requester, DWORD requestId, DWORD type, HRESULT hr) {
    const std::vector<std::string> names;
    const std::vector<DWORD> versions;
    const std::string empty;
    constexpr DWORD kNone = 0xFFFFFFFF;
    switch (type) {
        case PACKET_TYPE_GET_VERSION:
            answers.GetVersionResponse(requester, requestId, 0);
            break;
        case PACKET_TYPE_TERMINATE:
            answers.TerminateResponse(requester, requestId, hr);
            break;
        case PACKET_TYPE_ENUM_AVAIL_PROJECTS:
            answers.EnumerateAvailableProjectsResponse(requester, requestId, hr, names);
            break;
        case PACKET_TYPE_ENUM_INSTALLED_PROJECTS:
            answers.EnumerateInstalledProjectsResponse(requester, requestId, hr, names);
            break;
        case PACKET_TYPE_ENUM_AVAIL_PROJECT_RELEASES:
            answers.EnumerateAvailableProjectReleasesResponse(requester, requestId, hr, versions);
            break;
        case PACKET_TYPE_ENUM_INSTALLED_PROJECT_RELEASES:
            answers.EnumerateInstalledProjectReleasesResponse(requester, requestId, hr, versions);
            break;
        case PACKET_TYPE_INSTALL_PROJECT_RELEASE:
            answers.InstallProjectReleaseResponse(requester, requestId, hr);
            break;
        case PACKET_TYPE_UPDATE_PROJECT:
            answers.UpdateProjectResponse(requester, requestId, hr, kNone);
            break;
        case PACKET_TYPE_VALIDATE_PROJECT:
            answers.ValidateProjectResponse(requester, requestId, hr);
            break;
        case PACKET_TYPE_UNINSTALL_PROJECT_RELEASE:
            answers.UninstallProjectReleaseResponse(requester, requestId, hr);
            break;
        case PACKET_TYPE_ENUM_AVAIL_SOLUTIONS:
            answers.EnumerateAvailableSolutionsResponse(requester, requestId, hr, names);
            break;
        case PACKET_TYPE_ENUM_INSTALLED_SOLUTIONS:
            answers.EnumerateInstalledSolutionsResponse(requester, requestId, hr, names);
            break;
        case PACKET_TYPE_ENUM_AVAIL_SOLUTION_RELEASES:
            answers.EnumerateAvailableSolutionReleasesResponse(requester, requestId, hr, versions);
            break;
        case PACKET_TYPE_ENUM_INSTALLED_SOLUTION_RELEASES:
            answers.EnumerateInstalledSolutionReleasesResponse(requester, requestId, hr, versions);
            break;
        case PACKET_TYPE_INSTALL_SOLUTION_RELEASE:
            answers.InstallSolutionReleaseResponse(requester, requestId, hr, kNone);
            break;
        case PACKET_TYPE_UPDATE_SOLUTION:
            answers.UpdateSolutionResponse(requester, requestId, hr, kNone);
            break;
        case PACKET_TYPE_VALIDATE_SOLUTION:
            answers.ValidateSolutionResponse(requester, requestId, hr);
            break;
        case PACKET_TYPE_UNINSTALL_SOLUTION_RELEASE:
            answers.UninstallSolutionReleaseResponse(requester, requestId, hr);
            break;
        case PACKET_TYPE_CREATE_PROCESS:
            answers.CreateProcessResponse(requester, requestId, hr, 0, 0);
            break;
        case PACKET_TYPE_SET_LOG_PARAMETERS:
            answers.SetLogParametersResponse(requester, requestId, hr);
            break;
        case PACKET_TYPE_LOCK_FILE:
            answers.LockFileResponse(requester, requestId, hr, empty, 0, 0, 0);
            break;
        case PACKET_TYPE_UNLOCK_FILE:
            answers.UnlockFileResponse(requester, requestId, hr);
            break;
        case PACKET_TYPE_REPAIR:
            answers.RepairResponse(requester, requestId, hr);
            break;
        case PACKET_TYPE_INSTALL_SOLUTION_RELEASE_BY_PROJECT_VERSION:
            answers.InstallSolutionReleaseByProjectVersionResponse(requester, requestId, hr, kNone, empty);
            break;
        case PACKET_TYPE_GET_PROJECT_VERSION_FOR_SOLUTION_RELEASE:
            answers.GetProjectVersionForSolutionReleaseResponse(requester, requestId, empty);
            break;
        case PACKET_TYPE_GET_QUOR_LIBRARY:
            answers.GetQuorLibraryResponse(requester, requestId, hr, empty);
            break;
        default:
            break;  // Cancel has no answer; unknown types get none
    }
}

}  // namespace Quor::Orvane
