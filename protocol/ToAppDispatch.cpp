#include "protocol/ToAppDispatch.h"

#include "common/Log.h"
#include "foundation/ByteOrder.h"
#include "protocol/PacketReader.h"
#include "protocol/PacketType.h"

namespace Quor::OrvaneProtocol::ToApp {

using Quor::Log::ERROR;
using Quor::Log::VERBOSE;
using Vorn::Bytes::LoadLE32;

namespace {

// Decodes the body of a kernel packet whose header passed its checks; false when a field does not
// fit.
bool Dispatch(DWORD requester, DWORD requestId, DWORD type, HRESULT hr, PacketReader& in,
              IOrvaneToApp& target) {
    switch (type) {
#define QUOR_DISPATCH_RESPONSE(Name, TYPE, number, direction, ...) \
    QUOR_IF_RESPONSE_##direction(QUOR_DECODE_CASE(TYPE, Name##Response, QUOR_RESPONSE_FIELDS_##Name))
        QUOR_MESSAGES(QUOR_DISPATCH_RESPONSE)
#undef QUOR_DISPATCH_RESPONSE
        case PACKET_TYPE_REQUEST_PROGRESS: {
            DWORD w[8] = {};
            float elapsed = 0, remaining = 0;
            std::string text;
            for (DWORD& word : w)
                if (!in.Word(word)) return false;
            if (!(in.Float(elapsed) && in.Float(remaining) && in.String(text))) return false;
            target.RequestProgress(requester, requestId, w[0], w[1], w[2], w[3], w[4], w[5],
                                   static_cast<Quor::API::Progress::OperationType>(w[6]),
                                   static_cast<Quor::API::Progress::StepType>(w[7]), elapsed, remaining,
                                   text);
            return true;
        }
        default:
            return false;
    }
}

}  // namespace

HRESULT TranslateAndDispatch(const DWORD requester, const UINT size, const BYTE* const data,
                             IOrvaneToApp& target) {
    QUOR_LOG(VERBOSE, "(%d, %d)", requester, size);
    if (size < RESPONSE_HEADER_SIZE || data == nullptr) return E_FAIL;
    const DWORD length = LoadLE32(data);
    if (length != size) {
        QUOR_LOG(ERROR, "Did not recieve all %d bytes of packet, only got %d.", length, size);
        return E_FAIL;
    }
    const DWORD type = LoadLE32(data + 4);
    const DWORD requestId = LoadLE32(data + 8);
    const HRESULT hr = static_cast<HRESULT>(LoadLE32(data + 12));
    if (type > PACKET_TYPE_LAST) return E_FAIL;
    QUOR_LOG(VERBOSE, "%s", ResponseTypeName(type));

    PacketReader in(data, size, RESPONSE_HEADER_SIZE);
    if (!Dispatch(requester, requestId, type, hr, in, target)) {
        QUOR_LOG(ERROR, "Malformed packet %s: its fields do not fit its %d bytes.", ResponseTypeName(type),
                 size);
        return E_FAIL;
    }
    return S_OK;
}

bool ReadStringArray(const void* data, size_t size, std::vector<std::string>& out) {
    PacketReader in(static_cast<const BYTE*>(data), size, 0);
    return in.Strings(out);
}

}  // namespace Quor::OrvaneProtocol::ToApp
