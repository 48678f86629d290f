#pragma once
// Vorn::Sockets::ProcNetTcpLookup: one IPv4 TCP socket of this machine's socket table, found by
// its address pair in the text table /proc/net/tcp (or a file of the same format, for tests).
//
// Finds the line whose local address is `local` and whose remote address is `remote` and answers
// that socket's owner, state and inode (see TcpSocketRecord.h). The table lists a half-open
// connection (SYN_RECV) with the owner of its listening socket, and a closed end (TIME_WAIT,
// FIN_WAIT2 records) with uid 0: a caller that attributes a socket to a user must not take the uid
// of the latter. Malformed lines are skipped; at most 64 MiB are read. False when the table cannot
// be read or holds no such socket. Thread-safe (no shared state).
#include "foundation/TcpSocketRecord.h"

namespace Vorn::Sockets {

bool ProcNetTcpLookup(const TcpEndpoint& local, const TcpEndpoint& remote, TcpSocketRecord& record,
                      const char* table = "/proc/net/tcp");

}  // namespace Vorn::Sockets
