#include "protocol/ToOrvaneSend.h"

#include "common/Log.h"
#include "protocol/PacketType.h"
#include "protocol/PacketWriter.h"

namespace Quor::OrvaneProtocol::ToOrvane {

using Quor::Log::DEBUG;

// Each request: its entry line at DEBUG, then its header and fields in wire order, in one packet.
#define QUOR_SEND_REQUEST(Name, TYPE, number, direction, requestLog, ...)                                 \
    QUOR_IF_REQUEST_##direction(QUOR_REQUEST_SIGNATURE(Send::, Name) {                                    \
        QUOR_SEND_LOG_##requestLog(DEBUG, QUOR_REQUEST_FIELDS_##Name);                                    \
        PacketWriter::Request(PACKET_TYPE_##TYPE, requestId) QUOR_REQUEST_FIELDS_##Name(QUOR_FIELD_WRITE) \
            .SendTo(m_Transport, requester);                                                              \
    })
QUOR_MESSAGES(QUOR_SEND_REQUEST)
#undef QUOR_SEND_REQUEST

}  // namespace Quor::OrvaneProtocol::ToOrvane
