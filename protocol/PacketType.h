#pragma once
// Message types of the kernel protocol (from the table in protocol/Messages.h), header sizes, and
// the names the decoders log them under.
//
// One type number serves a request and its response; type 22 is Cancel from a client and
// RequestProgress from the kernel. Types above PACKET_TYPE_LAST are refused by every decoder.
#include <algorithm>

#include "foundation/Types.h"
#include "protocol/Messages.h"

namespace Quor::OrvaneProtocol {

enum PacketType : DWORD {
#define QUOR_PACKET_TYPE(Name, TYPE, number, ...) PACKET_TYPE_##TYPE = number,
    QUOR_MESSAGES(QUOR_PACKET_TYPE)
#undef QUOR_PACKET_TYPE
#define QUOR_PACKET_NUMBER(Name, TYPE, number, ...) \
    , DWORD {                                       \
        number                                      \
    }
        PACKET_TYPE_LAST = std::max({DWORD{0} QUOR_MESSAGES(QUOR_PACKET_NUMBER)}),
#undef QUOR_PACKET_NUMBER
};

// Request header: size, request id, type. Response header: size, type, request id, result.
constexpr UINT REQUEST_HEADER_SIZE = 12;
constexpr UINT RESPONSE_HEADER_SIZE = 16;

// The kernel takes one receive of at most this many bytes as one request.
constexpr UINT MAX_REQUEST_SIZE = 4096;

// "PACKET_TYPE_..._REQUEST" / "..._RESPONSE" (RequestProgress for 22); null above the last type.
const char* RequestTypeName(DWORD type);
const char* ResponseTypeName(DWORD type);

}  // namespace Quor::OrvaneProtocol
