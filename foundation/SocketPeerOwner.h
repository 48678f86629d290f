#pragma once
// Vorn::Sockets::PeerOwner and PeerIsTrusted: which user owns the other end of a connected IPv4
// TCP socket of this machine (a loopback connection). The loopback port is a boundary between
// users: the kernel serves, and the client library talks to, only its own user and root.
//
// The peer's socket is looked up by the connection's address pair, through inet_diag
// (InetDiag.h), and in /proc/net/tcp (ProcNetTcp.h) when that cannot answer or finds only the
// half-open record of a connection that its listener has not taken yet (that table names the
// listener's owner for it). A peer known only by a closed-end record (TIME_WAIT, or FIN_WAIT2 with
// no process holding it) has no known owner. PeerOwner answers false when the owner cannot be
// known, and PeerIsTrusted is then false too: what cannot be attributed is refused.
// Thread-safe; each call uses descriptors of its own and takes no lock.
#include <cstdint>

#include "foundation/Sockets.h"

namespace Vorn::Sockets {

bool PeerOwner(Socket socket, uint32_t& uid);
// True for this process's effective user and for root.
bool IsTrustedOwner(uint32_t uid);
// True when the peer's owner is known and trusted.
bool PeerIsTrusted(Socket socket);

}  // namespace Vorn::Sockets
