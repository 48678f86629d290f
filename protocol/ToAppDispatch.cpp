#include "protocol/ToAppDispatch.h"

#include "common/Log.h"
#include "foundation/ByteOrder.h"
#include "protocol/PacketReader.h"
#include "protocol/PacketType.h"

namespace Quor::OrvaneProtocol::ToApp {

using Quor::Log::ERROR;
using Quor::Log::VERBOSE;
using Vorn::Bytes::LoadLE32;

namespace {

// Decodes the body of a kernel packet whose header passed its checks; false when a field does not
// fit.
bool Dispatch(DWORD requester, DWORD requestId, DWORD type, HRESULT hr, PacketReader& in,
              IOrvaneToApp& target) {
    std::string text;
    std::vector<std::string> texts;
    std::vector<DWORD> words;
    DWORD w[8] = {};
    float elapsed = 0, remaining = 0;
    switch (type) {
        case PACKET_TYPE_GET_VERSION:
            if (!in.Word(w[0])) return false;
            target.GetVersionResponse(requester, requestId, w[0]);
            return true;
        case PACKET_TYPE_TERMINATE:
            target.TerminateResponse(requester, requestId, hr);
            return true;
        case PACKET_TYPE_ENUM_AVAIL_PROJECTS:
            if (!in.Strings(texts)) return false;
            target.EnumerateAvailableProjectsResponse(requester, requestId, hr, texts);
            return true;
        case PACKET_TYPE_ENUM_INSTALLED_PROJECTS:
            if (!in.Strings(texts)) return false;
            target.EnumerateInstalledProjectsResponse(requester, requestId, hr, texts);
            return true;
        case PACKET_TYPE_ENUM_AVAIL_PROJECT_RELEASES:
            if (!in.Words(words)) return false;
            target.EnumerateAvailableProjectReleasesResponse(requester, requestId, hr, words);
            return true;
        case PACKET_TYPE_ENUM_INSTALLED_PROJECT_RELEASES:
            if (!in.Words(words)) return false;
            target.EnumerateInstalledProjectReleasesResponse(requester, requestId, hr, words);
            return true;
        case PACKET_TYPE_INSTALL_PROJECT_RELEASE:
            target.InstallProjectReleaseResponse(requester, requestId, hr);
            return true;
        case PACKET_TYPE_UPDATE_PROJECT:
            if (!in.Word(w[0])) return false;
            target.UpdateProjectResponse(requester, requestId, hr, w[0]);
            return true;
        case PACKET_TYPE_VALIDATE_PROJECT:
            target.ValidateProjectResponse(requester, requestId, hr);
            return true;
        case PACKET_TYPE_UNINSTALL_PROJECT_RELEASE:
            target.UninstallProjectReleaseResponse(requester, requestId, hr);
            return true;
        case PACKET_TYPE_ENUM_AVAIL_SOLUTIONS:
            if (!in.Strings(texts)) return false;
            target.EnumerateAvailableSolutionsResponse(requester, requestId, hr, texts);
            return true;
        case PACKET_TYPE_ENUM_INSTALLED_SOLUTIONS:
            if (!in.Strings(texts)) return false;
            target.EnumerateInstalledSolutionsResponse(requester, requestId, hr, texts);
            return true;
        case PACKET_TYPE_ENUM_AVAIL_SOLUTION_RELEASES:
            if (!in.Words(words)) return false;
            target.EnumerateAvailableSolutionReleasesResponse(requester, requestId, hr, words);
            return true;
        case PACKET_TYPE_ENUM_INSTALLED_SOLUTION_RELEASES:
            if (!in.Words(words)) return false;
            target.EnumerateInstalledSolutionReleasesResponse(requester, requestId, hr, words);
            return true;
        case PACKET_TYPE_INSTALL_SOLUTION_RELEASE:
            if (!in.Word(w[0])) return false;
            target.InstallSolutionReleaseResponse(requester, requestId, hr, w[0]);
            return true;
        case PACKET_TYPE_UPDATE_SOLUTION:
            if (!in.Word(w[0])) return false;
            target.UpdateSolutionResponse(requester, requestId, hr, w[0]);
            return true;
        case PACKET_TYPE_VALIDATE_SOLUTION:
            target.ValidateSolutionResponse(requester, requestId, hr);
            return true;
        case PACKET_TYPE_UNINSTALL_SOLUTION_RELEASE:
            target.UninstallSolutionReleaseResponse(requester, requestId, hr);
            return true;
        case PACKET_TYPE_CREATE_PROCESS:
            if (!(in.Word(w[0]) && in.Word(w[1]))) return false;
            target.CreateProcessResponse(requester, requestId, hr, w[0], w[1]);
            return true;
        case PACKET_TYPE_SET_LOG_PARAMETERS:
            target.SetLogParametersResponse(requester, requestId, hr);
            return true;
        case PACKET_TYPE_LOCK_FILE:
            if (!(in.String(text) && in.Word(w[0]) && in.Word(w[1]) && in.Word(w[2]))) return false;
            target.LockFileResponse(requester, requestId, hr, text, w[0], w[1], w[2]);
            return true;
        case PACKET_TYPE_UNLOCK_FILE:
            target.UnlockFileResponse(requester, requestId, hr);
            return true;
        case PACKET_TYPE_REQUEST_PROGRESS:
            for (DWORD& word : w)
                if (!in.Word(word)) return false;
            if (!(in.Float(elapsed) && in.Float(remaining) && in.String(text))) return false;
            target.RequestProgress(requester, requestId, w[0], w[1], w[2], w[3], w[4], w[5],
                                   static_cast<Quor::API::Progress::OperationType>(w[6]),
                                   static_cast<Quor::API::Progress::StepType>(w[7]), elapsed, remaining,
                                   text);
            return true;
        case PACKET_TYPE_REPAIR:
            target.RepairResponse(requester, requestId, hr);
            return true;
        case PACKET_TYPE_INSTALL_SOLUTION_RELEASE_BY_PROJECT_VERSION:
            if (!(in.Word(w[0]) && in.String(text))) return false;
            target.InstallSolutionReleaseByProjectVersionResponse(requester, requestId, hr, w[0], text);
            return true;
        case PACKET_TYPE_GET_PROJECT_VERSION_FOR_SOLUTION_RELEASE:
            if (!in.String(text)) return false;
            target.GetProjectVersionForSolutionReleaseResponse(requester, requestId, text);
            return true;
        case PACKET_TYPE_GET_QUOR_LIBRARY:
            if (!in.String(text)) return false;
            target.GetQuorLibraryResponse(requester, requestId, hr, text);
            return true;
        default:
            return false;
    }
}

}  // namespace

HRESULT TranslateAndDispatch(const DWORD requester, const UINT size, const BYTE* const data,
                             IOrvaneToApp& target) {
    QUOR_LOG(VERBOSE, "(%d, %d)", requester, size);
    if (size < RESPONSE_HEADER_SIZE || data == nullptr) return E_FAIL;
    const DWORD length = LoadLE32(data);
    if (length != size) {
        QUOR_LOG(ERROR, "Did not recieve all %d bytes of packet, only got %d.", length, size);
        return E_FAIL;
    }
    const DWORD type = LoadLE32(data + 4);
    const DWORD requestId = LoadLE32(data + 8);
    const HRESULT hr = static_cast<HRESULT>(LoadLE32(data + 12));
    if (type > PACKET_TYPE_LAST) return E_FAIL;
    QUOR_LOG(VERBOSE, "%s", ResponseTypeName(type));

    PacketReader in(data, size, RESPONSE_HEADER_SIZE);
    if (!Dispatch(requester, requestId, type, hr, in, target)) {
        QUOR_LOG(ERROR, "Malformed packet %s: its fields do not fit its %d bytes.", ResponseTypeName(type),
                 size);
        return E_FAIL;
    }
    return S_OK;
}

bool ReadStringArray(const void* data, size_t size, std::vector<std::string>& out) {
    PacketReader in(static_cast<const BYTE*>(data), size, 0);
    return in.Strings(out);
}

}  // namespace Quor::OrvaneProtocol::ToApp
