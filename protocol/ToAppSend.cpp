#include "protocol/ToAppSend.h"

#include "common/Log.h"
#include "protocol/PacketType.h"
#include "protocol/PacketWriter.h"

namespace Quor::OrvaneProtocol::ToApp {

using Quor::Log::DEBUG;
using Quor::Log::VERBOSE;

// Each response: its entry line at DEBUG, then its header (result S_OK where the row has none)
// and fields in wire order, in one packet.
#define QUOR_SEND_RESPONSE(Name, TYPE, number, direction, requestLog, responseLog, ...) \
    QUOR_IF_RESPONSE_##direction(QUOR_RESPONSE_SIGNATURE(Send::, Name) {                \
        QUOR_SEND_LOG_##responseLog(DEBUG, QUOR_RESPONSE_FIELDS_##Name);                \
        HRESULT header = S_OK;                                                          \
        QUOR_RESPONSE_FIELDS_##Name(QUOR_FIELD_HEADER)                                  \
            PacketWriter::Response(PACKET_TYPE_##TYPE, requestId, header)               \
                QUOR_RESPONSE_FIELDS_##Name(QUOR_FIELD_WRITE)                           \
                    .SendTo(m_Transport, requester);                                    \
    })
QUOR_MESSAGES(QUOR_SEND_RESPONSE)
#undef QUOR_SEND_RESPONSE

void Send::RequestProgress(const DWORD requester, const DWORD requestId, const DWORD counter1,
                           const DWORD counter2, const DWORD counter3, const DWORD counter4,
                           const DWORD bytesDownloaded, const DWORD bytesToDownload,
                           const Quor::API::Progress::OperationType operationType,
                           const Quor::API::Progress::StepType stepType, const float elapsedSeconds,
                           const float remainingSeconds, const std::string& currentItem) {
    QUOR_LOG(VERBOSE, "(%d, 0x%08x, %u, %u, %u, %u, %u, %u, %u, %u, %f, %f, %s)", requester, requestId,
             counter1, counter2, counter3, counter4, bytesDownloaded, bytesToDownload,
             static_cast<unsigned>(operationType), static_cast<unsigned>(stepType),
             static_cast<double>(elapsedSeconds), static_cast<double>(remainingSeconds), currentItem.c_str());
    PacketWriter::Response(PACKET_TYPE_REQUEST_PROGRESS, requestId, S_OK)
        .Word(counter1)
        .Word(counter2)
        .Word(counter3)
        .Word(counter4)
        .Word(bytesDownloaded)
        .Word(bytesToDownload)
        .Word(operationType)
        .Word(stepType)
        .Float(elapsedSeconds)
        .Float(remainingSeconds)
        .String(currentItem)
        .SendTo(m_Transport, requester);
}

}  // namespace Quor::OrvaneProtocol::ToApp
