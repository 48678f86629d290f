#include "protocol/ToOrvaneDispatch.h"

#include <string>
#include <vector>

#include "common/Log.h"
#include "foundation/ByteOrder.h"
#include "protocol/PacketReader.h"
#include "protocol/PacketType.h"

namespace Quor::OrvaneProtocol::ToOrvane {

using Quor::Log::ERROR;
using Quor::Log::VERBOSE;
using Vorn::Bytes::LoadLE32;

namespace {

// Decodes the body of a request whose header passed its checks; false when a field does not fit.
bool Dispatch(DWORD requester, DWORD requestId, DWORD type, PacketReader& in, IAppToOrvane& target) {
    switch (type) {
#define QUOR_DISPATCH_REQUEST(Name, TYPE, number, direction, ...) \
    QUOR_IF_REQUEST_##direction(QUOR_DECODE_CASE(TYPE, Name##Request, QUOR_REQUEST_FIELDS_##Name))
        QUOR_MESSAGES(QUOR_DISPATCH_REQUEST)
#undef QUOR_DISPATCH_REQUEST
        default:
            return false;
    }
}

}  // namespace

HRESULT TranslateAndDispatch(const DWORD requester, const UINT size, const BYTE* const data,
                             IAppToOrvane& target) {
    QUOR_LOG(VERBOSE, "(%d, %d)", requester, size);
    if (size < REQUEST_HEADER_SIZE || data == nullptr) return E_FAIL;
    const DWORD length = LoadLE32(data);
    if (length != size) {
        QUOR_LOG(ERROR, "Did not recieve all %d bytes of packet, only got %d.", length, size);
        return E_FAIL;
    }
    const DWORD requestId = LoadLE32(data + 4);
    const DWORD type = LoadLE32(data + 8);
    if (type > PACKET_TYPE_LAST) return E_FAIL;
    QUOR_LOG(VERBOSE, "(): %s", RequestTypeName(type));

    PacketReader in(data, size, REQUEST_HEADER_SIZE);
    if (!Dispatch(requester, requestId, type, in, target)) {
        QUOR_LOG(ERROR, "Malformed packet %s: its fields do not fit its %d bytes.", RequestTypeName(type),
                 size);
        return E_FAIL;
    }
    return S_OK;
}

HRESULT PeekPacket(const UINT size, const BYTE* const data, PEEK_PACKET_DATA& out) {
    QUOR_LOG(VERBOSE, "(%d)", size);
    out = PEEK_PACKET_DATA{};
    if (size < REQUEST_HEADER_SIZE || data == nullptr) return E_FAIL;
    const DWORD length = LoadLE32(data);
    if (length != size) {
        QUOR_LOG(ERROR, "Did not receive all %d bytes of packet, only got %d.", length, size);
        return E_FAIL;
    }
    out.requestId = LoadLE32(data + 4);
    out.isCancel = LoadLE32(data + 8) == PACKET_TYPE_CANCEL ? 1 : 0;
    return S_OK;
}

}  // namespace Quor::OrvaneProtocol::ToOrvane
