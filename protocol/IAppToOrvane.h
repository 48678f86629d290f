#pragma once
// The requests a program makes of the kernel, one operation per request type of the table in
// protocol/Messages.h, with that row's fields as parameters.
//
// Every operation starts with the requester (the connection: 0 in a client, the socket descriptor
// in the kernel) and the request id. ToOrvane::Send turns calls into packets; the kernel's request
// handlers implement it and ToOrvane::TranslateAndDispatch calls them. Operations report nothing
// back: the answer travels as a separate response (IOrvaneToApp). Implementations say which
// threads may call them.
#include "foundation/Types.h"
#include "protocol/Messages.h"

namespace Quor::OrvaneProtocol {

class IAppToOrvane {
public:
    virtual ~IAppToOrvane() = default;
#define QUOR_DECLARE_REQUEST(Name, TYPE, number, direction, ...) \
    QUOR_IF_REQUEST_##direction(virtual QUOR_REQUEST_SIGNATURE(, Name) = 0;)
    QUOR_MESSAGES(QUOR_DECLARE_REQUEST)
#undef QUOR_DECLARE_REQUEST
};

}  // namespace Quor::OrvaneProtocol
