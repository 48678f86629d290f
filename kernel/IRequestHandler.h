#pragma once
// Quor::Orvane::IRequestHandler: what the request server runs requests on: the protocol's
// request operations plus the running job's cancel flag. One request runs at a time, on the job's
// thread; SetCancel is called from the request server's thread while the job runs.
#include "protocol/IAppToOrvane.h"

namespace Quor::Orvane {

class IRequestHandler : public Quor::OrvaneProtocol::IAppToOrvane {
public:
    virtual void SetCancel(bool cancel) = 0;
};

}  // namespace Quor::Orvane
