#pragma once
// Quor::Orvane::IRequestHandler: what the request server runs requests on: the protocol's
// request operations plus the running job's cancel flag and the end of a connection. One request
// runs at a time, on the job's thread; SetCancel is called from the request server's thread while
// the job runs; ConnectionEnded from that thread while no job runs, once per ended connection,
// after the last request of that connection has returned.
#include "protocol/IAppToOrvane.h"

namespace Quor::Orvane {

class IRequestHandler : public Quor::OrvaneProtocol::IAppToOrvane {
public:
    virtual void SetCancel(bool cancel) = 0;
    // The connection has ended: whatever the handler keeps on its behalf is released.
    virtual void ConnectionEnded(DWORD connection) { (void)connection; }
};

}  // namespace Quor::Orvane
