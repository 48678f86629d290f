#pragma once
// Quor::Orvane::WinSock::RequestFramer: cuts whole requests out of one connection's byte stream
// by their length word, so that a request split over several receives, or several requests in
// one receive, are each delivered once and whole.
//
// Receive into Space()/SpaceSize(), then Commit the count received. A length word below the
// request header (12) or above the largest request (4096) is a broken stream: Commit answers
// false and the connection is to be ended. At most 4096 bytes are ever held. One thread at a time.
#include <array>
#include <functional>

#include "foundation/Types.h"

namespace Quor::Orvane::WinSock {

class RequestFramer {
public:
    static constexpr UINT kMinRequest = 12;
    static constexpr UINT kMaxRequest = 4096;

    BYTE* Space() { return m_Buffer.data() + m_Held; }
    // True while part of a request waits for the rest.
    bool HoldsPart() const { return m_Held > 0; }
    DWORD SpaceSize() const { return static_cast<DWORD>(m_Buffer.size() - m_Held); }

    // Adds `received` bytes written at Space(); calls deliver for each request now whole (the
    // bytes are valid during the call only). The length word of a refused stream is in badLength.
    bool Commit(DWORD received, const std::function<void(const BYTE*, UINT)>& deliver, DWORD& badLength);

private:
    std::array<BYTE, kMaxRequest> m_Buffer{};
    DWORD m_Held = 0;
};

}  // namespace Quor::Orvane::WinSock
