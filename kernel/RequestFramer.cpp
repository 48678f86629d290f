#include "kernel/RequestFramer.h"

#include <cstring>

#include "foundation/ByteOrder.h"

namespace Quor::Orvane::WinSock {

bool RequestFramer::Commit(DWORD received, const std::function<void(const BYTE*, UINT)>& deliver,
                           DWORD& badLength) {
    if (received > SpaceSize()) received = SpaceSize();
    m_Held += received;
    DWORD offset = 0;
    while (m_Held - offset >= 4) {
        const DWORD length = Vorn::Bytes::LoadLE32(m_Buffer.data() + offset);
        if (length < kMinRequest || length > kMaxRequest) {
            badLength = length;
            m_Held = 0;
            return false;
        }
        if (m_Held - offset < length) break;
        deliver(m_Buffer.data() + offset, length);
        offset += length;
    }
    // What is left is part of one request shorter than the buffer, so there is always room.
    if (offset > 0) {
        std::memmove(m_Buffer.data(), m_Buffer.data() + offset, m_Held - offset);
        m_Held -= offset;
    }
    return true;
}

}  // namespace Quor::Orvane::WinSock
