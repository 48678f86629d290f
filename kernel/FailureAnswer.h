#pragma once
// The answer to a request that is not run: the response of the request's own type with the given
// failure, empty results and 0xFFFFFFFF for versions. Nothing is sent for Cancel (it has no
// answer) or for a type the protocol does not know.
#include "foundation/Types.h"
#include "protocol/IOrvaneToApp.h"

namespace Quor::Orvane {

void AnswerFailure(Quor::OrvaneProtocol::IOrvaneToApp& answers, DWORD requester, DWORD requestId, DWORD type,
                   HRESULT hr);

}  // namespace Quor::Orvane
