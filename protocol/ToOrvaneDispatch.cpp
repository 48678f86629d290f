#include "protocol/ToOrvaneDispatch.h"

#include <string>

#include "common/Log.h"
#include "foundation/ByteOrder.h"
#include "protocol/PacketReader.h"
#include "protocol/PacketType.h"

namespace Quor::OrvaneProtocol::ToOrvane {

using Quor::Log::ERROR;
using Quor::Log::VERBOSE;
using Vorn::Bytes::LoadLE32;

namespace {

// Decodes the body of a request whose header passed its checks; false when a field does not fit.
bool Dispatch(DWORD requester, DWORD requestId, DWORD type, PacketReader& in, IAppToOrvane& target) {
    std::string a, b, c;
    DWORD word = 0;
    bool flag1 = false, flag2 = false;
    switch (type) {
        case PACKET_TYPE_GET_VERSION:
            target.GetVersionRequest(requester, requestId);
            return true;
        case PACKET_TYPE_TERMINATE:
            target.TerminateRequest(requester, requestId);
            return true;
        case PACKET_TYPE_ENUM_AVAIL_PROJECTS:
            target.EnumerateAvailableProjectsRequest(requester, requestId);
            return true;
        case PACKET_TYPE_ENUM_INSTALLED_PROJECTS:
            target.EnumerateInstalledProjectsRequest(requester, requestId);
            return true;
        case PACKET_TYPE_ENUM_AVAIL_PROJECT_RELEASES:
            if (!in.String(a)) return false;
            target.EnumerateAvailableProjectReleasesRequest(requester, requestId, a);
            return true;
        case PACKET_TYPE_ENUM_INSTALLED_PROJECT_RELEASES:
            if (!in.String(a)) return false;
            target.EnumerateInstalledProjectReleasesRequest(requester, requestId, a);
            return true;
        case PACKET_TYPE_INSTALL_PROJECT_RELEASE:
            if (!(in.String(a) && in.Word(word))) return false;
            target.InstallProjectReleaseRequest(requester, requestId, a, word);
            return true;
        case PACKET_TYPE_UPDATE_PROJECT:
            if (!in.String(a)) return false;
            target.UpdateProjectRequest(requester, requestId, a);
            return true;
        case PACKET_TYPE_VALIDATE_PROJECT:
            if (!in.String(a)) return false;
            target.ValidateProjectRequest(requester, requestId, a);
            return true;
        case PACKET_TYPE_UNINSTALL_PROJECT_RELEASE:
            if (!(in.String(a) && in.Word(word))) return false;
            target.UninstallProjectReleaseRequest(requester, requestId, a, word);
            return true;
        case PACKET_TYPE_ENUM_AVAIL_SOLUTIONS:
            target.EnumerateAvailableSolutionsRequest(requester, requestId);
            return true;
        case PACKET_TYPE_ENUM_INSTALLED_SOLUTIONS:
            target.EnumerateInstalledSolutionsRequest(requester, requestId);
            return true;
        case PACKET_TYPE_ENUM_AVAIL_SOLUTION_RELEASES:
            if (!in.String(a)) return false;
            target.EnumerateAvailableSolutionReleasesRequest(requester, requestId, a);
            return true;
        case PACKET_TYPE_ENUM_INSTALLED_SOLUTION_RELEASES:
            if (!in.String(a)) return false;
            target.EnumerateInstalledSolutionReleasesRequest(requester, requestId, a);
            return true;
        case PACKET_TYPE_INSTALL_SOLUTION_RELEASE:
            if (!(in.String(a) && in.Word(word) && in.String(b))) return false;
            target.InstallSolutionReleaseRequest(requester, requestId, a, word, b);
            return true;
        case PACKET_TYPE_UPDATE_SOLUTION:
            if (!(in.String(a) && in.String(b))) return false;
            target.UpdateSolutionRequest(requester, requestId, a, b);
            return true;
        case PACKET_TYPE_VALIDATE_SOLUTION:
            if (!in.String(a)) return false;
            target.ValidateSolutionRequest(requester, requestId, a);
            return true;
        case PACKET_TYPE_UNINSTALL_SOLUTION_RELEASE:
            if (!(in.String(a) && in.Word(word))) return false;
            target.UninstallSolutionReleaseRequest(requester, requestId, a, word);
            return true;
        case PACKET_TYPE_CREATE_PROCESS:
            if (!(in.String(a) && in.Word(word) && in.String(b) && in.String(c))) return false;
            target.CreateProcessRequest(requester, requestId, a, word, b, c);
            return true;
        case PACKET_TYPE_SET_LOG_PARAMETERS:
            if (!in.Word(word)) return false;
            target.SetLogParametersRequest(requester, requestId, word);
            return true;
        case PACKET_TYPE_LOCK_FILE:
            if (!(in.String(a) && in.Word(word) && in.String(b))) return false;
            target.LockFileRequest(requester, requestId, a, word, b);
            return true;
        case PACKET_TYPE_UNLOCK_FILE:
            if (!in.Word(word)) return false;
            target.UnlockFileRequest(requester, requestId, word);
            return true;
        case PACKET_TYPE_CANCEL:
            target.CancelRequest(requester, requestId);
            return true;
        case PACKET_TYPE_REPAIR:
            if (!in.Word(word)) return false;
            target.RepairRequest(requester, requestId, word);
            return true;
        case PACKET_TYPE_INSTALL_SOLUTION_RELEASE_BY_PROJECT_VERSION:
            if (!(in.String(a) && in.String(b) && in.String(c) && in.Flag(flag1) && in.Flag(flag2)))
                return false;
            target.InstallSolutionReleaseByProjectVersionRequest(requester, requestId, a, b, c, flag1, flag2);
            return true;
        case PACKET_TYPE_GET_PROJECT_VERSION_FOR_SOLUTION_RELEASE:
            if (!(in.String(a) && in.Word(word))) return false;
            target.GetProjectVersionForSolutionReleaseRequest(requester, requestId, a, word);
            return true;
        case PACKET_TYPE_GET_QUOR_LIBRARY:
            target.GetQuorLibraryRequest(requester, requestId);
            return true;
        default:
            return false;
    }
}

}  // namespace

HRESULT TranslateAndDispatch(const DWORD requester, const UINT size, const BYTE* const data,
                             IAppToOrvane& target) {
    QUOR_LOG(VERBOSE, "(%d, %d)", requester, size);
    if (size < REQUEST_HEADER_SIZE || data == nullptr) return E_FAIL;
    const DWORD length = LoadLE32(data);
    if (length != size) {
        QUOR_LOG(ERROR, "Did not recieve all %d bytes of packet, only got %d.", length, size);
        return E_FAIL;
    }
    const DWORD requestId = LoadLE32(data + 4);
    const DWORD type = LoadLE32(data + 8);
    if (type > PACKET_TYPE_LAST) return E_FAIL;
    QUOR_LOG(VERBOSE, "(): %s", RequestTypeName(type));

    PacketReader in(data, size, REQUEST_HEADER_SIZE);
    if (!Dispatch(requester, requestId, type, in, target)) {
        QUOR_LOG(ERROR, "Malformed packet %s: its fields do not fit its %d bytes.", RequestTypeName(type),
                 size);
        return E_FAIL;
    }
    return S_OK;
}

HRESULT PeekPacket(const UINT size, const BYTE* const data, PEEK_PACKET_DATA& out) {
    QUOR_LOG(VERBOSE, "(%d)", size);
    out = PEEK_PACKET_DATA{};
    if (size < REQUEST_HEADER_SIZE || data == nullptr) return E_FAIL;
    const DWORD length = LoadLE32(data);
    if (length != size) {
        QUOR_LOG(ERROR, "Did not receive all %d bytes of packet, only got %d.", length, size);
        return E_FAIL;
    }
    out.requestId = LoadLE32(data + 4);
    out.isCancel = LoadLE32(data + 8) == PACKET_TYPE_CANCEL ? 1 : 0;
    return S_OK;
}

}  // namespace Quor::OrvaneProtocol::ToOrvane
