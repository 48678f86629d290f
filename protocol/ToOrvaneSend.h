#pragma once
// ToOrvane::Send: writes each request as one packet and hands it to the transport in one call.
//
// Holds only a reference to the transport, which must outlive it. Keeps no state between calls
// and takes no lock: threads may call it at once as far as the transport allows. A failed send is
// not reported (the operations return nothing); the request then simply gets no answer.
#include "protocol/IAppToOrvane.h"
#include "protocol/ISendPacket.h"

namespace Quor::OrvaneProtocol::ToOrvane {

class Send : public IAppToOrvane {
public:
    explicit Send(ISendPacket& transport) : m_Transport(transport) {}
    ~Send() override {}

    QUOR_MESSAGES(QUOR_DECLARE_REQUEST_OVERRIDE)

private:
    ISendPacket& m_Transport;
};

}  // namespace Quor::OrvaneProtocol::ToOrvane
