#pragma once
// Quor::Orvane::WinSock::AdmitPeer: the loopback port is a boundary between users. The kernel
// serves a connection only when the socket at its other end belongs to the kernel's own user or
// to root (Vorn::Sockets::PeerIsTrusted); AdmitPeer answers true for such a connection and leaves
// it alone. Any other connection (another user's, or one whose owner cannot be found) it closes at
// once, sets the socket to -1 and reports with one WARNING line; at most one such line is written
// a minute (Quor::Platform::Clock()), the next one counting those left out. Thread-safe.
#include "foundation/Sockets.h"

namespace Quor::Orvane::WinSock {

bool AdmitPeer(Vorn::Sockets::Socket& client);

}  // namespace Quor::Orvane::WinSock
