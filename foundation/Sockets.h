#pragma once
// Vorn::Sockets: TCP over IPv4 with success flags, and receives, sends and connection waits that
// run on a thread of their own and end by setting an event.
//
// Addresses are host-order IPv4 numbers (127.0.0.1 is 0x7F000001), ports their low 16 bits. A
// failure answers false (Create: -1); GetLastError tells why. No call ever raises SIGPIPE: writing
// to a closed peer fails instead. Sockets are not inherited by programs this process starts.
// The descriptor functions take no lock.
//
// Asynchronous operations: start one with an event of your own; once the event is set, read the
// outcome with GetAsyncResult, then ReleaseAsyncResult. The event is set exactly once per
// operation, by its end or by its cancellation. CancelAsyncOp stops an operation that still runs
// (without reading or writing anything more) and waits for its thread; the socket stays usable.
// ReleaseAsyncResult stops the operation the same way when it still runs and frees the record:
// once it returns, the operation's buffer is never touched again. The record is used by one
// caller thread at a time; the operation's own thread is the only other party.
#include <cstdint>
#include <memory>

#include "foundation/Types.h"

namespace Vorn {

class EventMultiWaitable;

namespace Sockets {

typedef int32_t Socket;

struct AsyncResult;

// Nothing to start or stop on this platform: Init answers 0, DeInit 1.
int Init();
int DeInit();

Socket Create();
bool Connect(Socket& socket, DWORD address, unsigned port);
// Sets address reuse, then binds.
bool Bind(Socket& socket, DWORD address, unsigned port);
bool Listen(Socket& socket, int backlog);
// True when the socket becomes readable within the given whole number of seconds (0 polls once).
bool Select(Socket& socket, unsigned seconds);
// On success stores the new connection in newSocket; false leaves it unchanged.
bool Accept(Socket& socket, Socket& newSocket);
bool Close(Socket& socket);
// False for -1 (without a system call) and for a socket without a peer.
bool IsOpen(Socket& socket);
// One read of at most length bytes; true with 0 bytes when the peer closed the connection.
bool Recv(Socket& socket, void* buffer, DWORD length, DWORD& received);
// One write; true with the count written, which may be below length.
bool Send(Socket& socket, const void* data, DWORD length, DWORD& sent);
// The error number of the calling thread's last failed call.
int32_t GetLastError();

// Each starter returns null (and sets no event) when its thread cannot be started. buffer (data)
// must stay valid until the operation ended, was cancelled or was released.
AsyncResult* NotifyOnConnection(Socket& listeningSocket, const std::shared_ptr<EventMultiWaitable>& event);
AsyncResult* AsyncRecv(Socket& socket, void* buffer, DWORD length, const std::shared_ptr<EventMultiWaitable>& event);
AsyncResult* AsyncSend(Socket& socket, const void* data, DWORD length, const std::shared_ptr<EventMultiWaitable>& event);
// The success flag (false while the operation runs); stores the bytes moved when transferred is
// given (0 unless it succeeded; for a connection wait always 0).
bool GetAsyncResult(AsyncResult* result, DWORD* transferred);
void CancelAsyncOp(AsyncResult* result);
void ReleaseAsyncResult(AsyncResult* result);

}  // namespace Sockets
}  // namespace Vorn
