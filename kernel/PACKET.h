#pragma once
// Quor::Orvane::PACKET: one whole request as a client sent it (header included), with the
// connection it came on. The packet owns its bytes; moving it hands them on, dropping it frees them.
#include <memory>

#include "foundation/Types.h"

namespace Quor::Orvane {

struct PACKET {
    DWORD connection = 0;  // the kernel's id of the client connection (never reused)
    UINT size = 0;
    std::unique_ptr<BYTE[]> data;

    static PACKET Copy(DWORD connection, const BYTE* bytes, UINT size) {
        PACKET packet;
        packet.connection = connection;
        packet.size = size;
        packet.data = std::make_unique<BYTE[]>(size);
        std::copy(bytes, bytes + size, packet.data.get());
        return packet;
    }
};

}  // namespace Quor::Orvane
