#pragma once
// Vorn::Sockets::InetDiagLookup: one IPv4 TCP socket of this machine's socket table, found by its
// address pair through the kernel's socket-diagnostics netlink interface (NETLINK_SOCK_DIAG,
// inet_diag), without walking the whole table.
//
// Finds the socket whose own address is `local` and whose peer is `remote` and answers its owner,
// state and inode (see TcpSocketRecord.h). The table reports records that are not full sockets
// (a half-open connection, SYN_RECV; a closed end, TIME_WAIT or FIN_WAIT2) with uid 0: a caller
// that attributes a socket to a user must not take the uid of such a record. False when the
// interface is missing or refuses, no such socket exists, or no answer came within one second
// (errno tells which). Thread-safe: each call uses a netlink socket of its own.
#include "foundation/TcpSocketRecord.h"

namespace Vorn::Sockets {

bool InetDiagLookup(const TcpEndpoint& local, const TcpEndpoint& remote, TcpSocketRecord& record);

}  // namespace Vorn::Sockets
