#include "foundation/SocketPeerOwner.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "foundation/InetDiag.h"
#include "foundation/ProcNetTcp.h"

namespace Vorn::Sockets {

namespace {

bool Endpoint(Socket socket, bool peer, TcpEndpoint& endpoint) {
    sockaddr_in address{};
    socklen_t size = sizeof address;
    const int rc = peer ? ::getpeername(socket, reinterpret_cast<sockaddr*>(&address), &size)
                        : ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &size);
    if (rc != 0) return false;
    if (size != sizeof address || address.sin_family != AF_INET) {
        errno = EAFNOSUPPORT;
        return false;
    }
    endpoint.address = ntohl(address.sin_addr.s_addr);
    endpoint.port = ntohs(address.sin_port);
    return true;
}

// Records that stand for no full socket carry uid 0 whoever made the connection.
bool IsClosedEnd(const TcpSocketRecord& record) {
    return record.state == TCP_TIME_WAIT || (record.state == TCP_FIN_WAIT2 && record.inode == 0);
}

}  // namespace

bool PeerOwner(Socket socket, uint32_t& uid) {
    TcpEndpoint mine, theirs;
    if (!Endpoint(socket, false, mine) || !Endpoint(socket, true, theirs)) return false;
    // The peer's socket has our peer address as its own and our address as its peer.
    TcpSocketRecord record;
    if (InetDiagLookup(theirs, mine, record) && record.state != TCP_SYN_RECV) {
        if (IsClosedEnd(record)) {
            errno = ENOTCONN;
            return false;
        }
        uid = record.uid;
        return true;
    }
    if (!ProcNetTcpLookup(theirs, mine, record)) return false;
    if (IsClosedEnd(record)) {
        errno = ENOTCONN;
        return false;
    }
    uid = record.uid;
    return true;
}

bool IsTrustedOwner(uint32_t uid) { return uid == 0 || uid == static_cast<uint32_t>(::geteuid()); }

bool PeerIsTrusted(Socket socket) {
    uint32_t uid = 0;
    return PeerOwner(socket, uid) && IsTrustedOwner(uid);
}

}  // namespace Vorn::Sockets
