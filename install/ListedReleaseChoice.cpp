#include "install/ListedReleaseChoice.h"

#include <algorithm>

#include "common/Log.h"
#include "common/ReleaseVersion.h"

namespace Quor::User {

HRESULT ChooseListedRelease(const char* tag, const char* kind, HRESULT listed, const std::vector<DWORD>& releases,
                            DWORD requested, DWORD& chosen) {
    if (FAILED(listed)) {
        QUOR_LOG_TAG(Log::ERROR, tag, "Failed to enumerate available releases.");
        return listed;
    }
    if (releases.empty()) {
        QUOR_LOG_TAG(Log::ERROR, tag, "No releases are available.");
        return E_FAIL;
    }
    if (requested == INVALID_RELEASE_VERSION) {
        chosen = releases.back();
        QUOR_LOG_TAG(Log::VERBOSE, tag, "User did not ask for a version, so %d was chosen", static_cast<int>(chosen));
        return S_OK;
    }
    if (!std::binary_search(releases.begin(), releases.end(), requested)) {
        QUOR_LOG_TAG(Log::ERROR, tag, "%s release %d is not available", kind, static_cast<int>(requested));
        return E_FAIL;
    }
    chosen = requested;
    QUOR_LOG_TAG(Log::VERBOSE, tag, "User asked for version %d and it was found", static_cast<int>(chosen));
    return S_OK;
}

}  // namespace Quor::User
