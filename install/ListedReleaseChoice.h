#pragma once
// The choice of a release from a content server's listing, shared by the project and solution
// version choices: the newest listed release, or an asked-for release that is listed.
// Stateless; failures are logged at ERROR under the caller's tag.
#include <vector>

#include "foundation/Types.h"

namespace Quor::User {

// listed: the result of the listing; releases: the listing, ascending. requested
// INVALID_RELEASE_VERSION picks the last; otherwise requested itself when listed ("<kind> release
// %d is not available" and E_FAIL when not). chosen is written only on success.
HRESULT ChooseListedRelease(const char* tag, const char* kind, HRESULT listed, const std::vector<DWORD>& releases,
                            DWORD requested, DWORD& chosen);

}  // namespace Quor::User
