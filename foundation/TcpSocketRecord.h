#pragma once
// Vorn::Sockets::TcpEndpoint and TcpSocketRecord: what the machine's TCP socket table tells about
// one socket, as the socket-table lookups (InetDiag.h, ProcNetTcp.h) answer it.
//
// Addresses are host-order IPv4 numbers (127.0.0.1 is 0x7F000001), ports host-order. The state is
// the kernel's TCP state number (TCP_ESTABLISHED ... of <netinet/tcp.h>). inode is 0 when no open
// file of any process holds the socket (a connection not yet accepted, a closed end, a half-open
// connection record). Plain values; no invariants beyond the fields'.
#include <cstdint>

namespace Vorn::Sockets {

struct TcpEndpoint {
    uint32_t address = 0;
    uint16_t port = 0;
};

struct TcpSocketRecord {
    uint32_t uid = 0;
    uint8_t state = 0;
    uint64_t inode = 0;
};

}  // namespace Vorn::Sockets
