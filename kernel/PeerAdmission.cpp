#include "kernel/PeerAdmission.h"

#include <cstdint>

#include "common/Log.h"
#include "foundation/AnnotatedMutex.h"
#include "foundation/SocketPeerOwner.h"
#include "platform/Clock.h"

namespace Quor::Orvane::WinSock {

namespace {

constexpr uint64_t kReportPeriodNs = 60ull * 1000 * 1000 * 1000;

Vorn::AnnotatedMutex reportMutex;
bool reported GUARDED_BY(reportMutex) = false;
uint64_t lastReportNs GUARDED_BY(reportMutex) = 0;
unsigned leftOut GUARDED_BY(reportMutex) = 0;

}  // namespace

bool AdmitPeer(Vorn::Sockets::Socket& client) {
    QUOR_LOG(Quor::Log::VERBOSE, "(0x%08x)", static_cast<unsigned>(client));
    uint32_t uid = 0;
    const bool known = Vorn::Sockets::PeerOwner(client, uid);
    if (known && Vorn::Sockets::IsTrustedOwner(uid)) return true;
    Vorn::Sockets::Close(client);
    client = -1;

    unsigned before = 0;
    {
        Vorn::AnnotatedLockGuard lock(reportMutex);
        const uint64_t now = Quor::Platform::Clock().NowNanoseconds();
        if (reported && now - lastReportNs < kReportPeriodNs) {
            ++leftOut;
            return false;
        }
        reported = true;
        lastReportNs = now;
        before = leftOut;
        leftOut = 0;
    }
    if (known)
        QUOR_LOG(Quor::Log::WARNING,
                 "Closed a connection of another user (uid %u): only this user and root are served (%u more "
                 "refused since the last report).",
                 uid, before);
    else
        QUOR_LOG(Quor::Log::WARNING,
                 "Closed a connection whose user could not be found: only this user and root are served (%u "
                 "more refused since the last report).",
                 before);
    return false;
}

}  // namespace Quor::Orvane::WinSock
