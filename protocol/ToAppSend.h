#pragma once
// ToApp::Send: writes each response or progress report as one packet and hands it to the
// transport in one call.
//
// Holds only a reference to the transport, which must outlive it. Keeps no state between calls
// and takes no lock: threads may call it at once as far as the transport allows. A failed send is
// not reported (the operations return nothing).
#include "protocol/IOrvaneToApp.h"
#include "protocol/ISendPacket.h"

namespace Quor::OrvaneProtocol::ToApp {

class Send final : public IOrvaneToApp {
public:
    explicit Send(ISendPacket& transport) : m_Transport(transport) {}

    QUOR_MESSAGES(QUOR_DECLARE_RESPONSE_OVERRIDE)
    void RequestProgress(const DWORD requester, const DWORD requestId, const DWORD counter1,
                         const DWORD counter2, const DWORD counter3, const DWORD counter4,
                         const DWORD bytesDownloaded, const DWORD bytesToDownload,
                         const Quor::API::Progress::OperationType operationType,
                         const Quor::API::Progress::StepType stepType, const float elapsedSeconds,
                         const float remainingSeconds, const std::string& currentItem) override;

private:
    ISendPacket& m_Transport;
};

}  // namespace Quor::OrvaneProtocol::ToApp
