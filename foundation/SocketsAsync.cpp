// The asynchronous socket operations: each runs on a thread of its own that waits in poll() on
// its socket and on a wake descriptor of its own. Cancelling writes to the wake descriptor, so the
// thread ends without touching the socket or the buffer again and is joined; nothing is ever
// cancelled by force, and the socket stays usable for the caller.
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <cstdint>

#include "foundation/AnnotatedMutex.h"
#include "foundation/EventMultiWaitable.h"
#include "foundation/Sockets.h"
#include "foundation/UniqueFd.h"

namespace Vorn::Sockets {

struct AsyncResult {
    AnnotatedMutex lock;  // orders the outcome against GetAsyncResult and CancelAsyncOp
    Socket socket = -1;
    pthread_t thread{};
    bool joined = false;  // touched by the caller's thread only
    bool done GUARDED_BY(lock) = false;
    bool success GUARDED_BY(lock) = false;
    void* buffer = nullptr;
    DWORD length = 0;
    DWORD transferred GUARDED_BY(lock) = 0;
    std::shared_ptr<EventMultiWaitable> event;
    UniqueFd wake;  // readable once the operation is to stop
};

namespace {

enum class Readiness { Ready, Stopped, Failed };

// Waits until the socket is ready for what is asked, or until the operation is to stop.
Readiness WaitUntilReady(AsyncResult& r, short what) {
    for (;;) {
        pollfd p[2] = {{r.wake.Get(), POLLIN, 0}, {r.socket, what, 0}};
        const int n = ::poll(p, 2, -1);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Readiness::Failed;
        }
        if (p[0].revents) return Readiness::Stopped;
        if (p[1].revents & POLLNVAL) return Readiness::Failed;
        if (p[1].revents) return Readiness::Ready;
    }
}

// Publishes the outcome unless a cancellation already did, and sets the event once.
void Finish(AsyncResult& r, bool success, DWORD transferred) {
    AnnotatedLockGuard guard(r.lock);
    if (r.done) return;
    r.success = success;
    r.transferred = success ? transferred : 0;
    r.done = true;
    if (r.event) r.event->Set();
}

void* NotifyOnConnectionThread(void* record) {
    auto& r = *static_cast<AsyncResult*>(record);
    Finish(r, WaitUntilReady(r, POLLIN) == Readiness::Ready, 0);
    return nullptr;
}

void* AsyncRecvThread(void* record) {
    auto& r = *static_cast<AsyncResult*>(record);
    for (;;) {
        if (WaitUntilReady(r, POLLIN) != Readiness::Ready) break;
        const ssize_t n = ::recv(r.socket, r.buffer, r.length, MSG_DONTWAIT);
        if (n >= 0) {
            Finish(r, true, static_cast<DWORD>(n));
            return nullptr;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) break;
    }
    Finish(r, false, 0);
    return nullptr;
}

void* AsyncSendThread(void* record) {
    auto& r = *static_cast<AsyncResult*>(record);
    const auto* data = static_cast<const uint8_t*>(r.buffer);
    DWORD sent = 0;
    bool failed = false;
    while (sent < r.length) {
        if (WaitUntilReady(r, POLLOUT) != Readiness::Ready) {
            failed = true;
            break;
        }
        const ssize_t n = ::send(r.socket, data + sent, r.length - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n >= 0) {
            sent += static_cast<DWORD>(n);
        } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            failed = true;
            break;
        }
    }
    // Bytes that went out are reported even when the rest could not follow, as a short write.
    Finish(r, !failed || sent > 0, sent);
    return nullptr;
}

AsyncResult* Start(Socket socket, void* buffer, DWORD length, const std::shared_ptr<EventMultiWaitable>& event,
                   void* (*body)(void*)) {
    auto* r = new AsyncResult;
    r->socket = socket;
    r->buffer = buffer;
    r->length = length;
    r->event = event;
    r->wake = UniqueFd(eventfd(0, EFD_CLOEXEC));
    if (!r->wake.IsValid()) {
        delete r;
        return nullptr;
    }
    const int rc = pthread_create(&r->thread, nullptr, body, r);
    if (rc != 0) {
        delete r;
        errno = rc;
        return nullptr;
    }
    return r;
}

}  // namespace

AsyncResult* NotifyOnConnection(Socket& listeningSocket, const std::shared_ptr<EventMultiWaitable>& event) {
    return Start(listeningSocket, nullptr, 0, event, &NotifyOnConnectionThread);
}

AsyncResult* AsyncRecv(Socket& socket, void* buffer, DWORD length, const std::shared_ptr<EventMultiWaitable>& event) {
    return Start(socket, buffer, length, event, &AsyncRecvThread);
}

AsyncResult* AsyncSend(Socket& socket, const void* data, DWORD length, const std::shared_ptr<EventMultiWaitable>& event) {
    return Start(socket, const_cast<void*>(data), length, event, &AsyncSendThread);
}

bool GetAsyncResult(AsyncResult* result, DWORD* transferred) {
    if (!result) return false;
    AnnotatedLockGuard guard(result->lock);
    if (transferred) *transferred = result->transferred;
    return result->success;
}

void CancelAsyncOp(AsyncResult* result) {
    if (!result) return;
    if (!result->joined) {
        const uint64_t one = 1;
        (void)!::write(result->wake.Get(), &one, sizeof one);
        pthread_join(result->thread, nullptr);
        result->joined = true;
    }
    // The thread has published its outcome before it ended; this only guards the invariant that a
    // cancelled operation is done and its event set.
    AnnotatedLockGuard guard(result->lock);
    if (!result->done) {
        result->done = true;
        if (result->event) result->event->Set();
    }
}

void ReleaseAsyncResult(AsyncResult* result) {
    if (!result) return;
    CancelAsyncOp(result);
    delete result;
}

}  // namespace Vorn::Sockets
