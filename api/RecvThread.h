#pragma once
// Quor::API::Impl::WinSock::RecvThread: reads the kernel's byte stream 1024 bytes at a time, cuts
// it into whole packets by their length words and hands each to its connection manager.
//
// A length word below 16 or above 16 MiB ends the connection; so does the kernel closing it or a
// failed read. The thread then tells the manager (EndConnection) and ends. Stop() shuts the socket
// down, which ends a waiting read at once, and joins the thread; the socket stays open for the
// manager to close.
#include <thread>

#include "foundation/Sockets.h"
#include "foundation/Types.h"

namespace Quor::API::Impl::WinSock {

class Manager;

class RecvThread {
public:
    // Longest packet the kernel may send; anything longer ends the connection.
    static constexpr DWORD MAX_PACKET_SIZE = 16u << 20;

    RecvThread(Manager& manager, Vorn::Sockets::Socket socket, HRESULT& result);
    ~RecvThread();
    RecvThread(const RecvThread&) = delete;
    RecvThread& operator=(const RecvThread&) = delete;

private:
    void ThreadProc();

    Manager& m_Manager;
    const Vorn::Sockets::Socket m_Socket;
    std::thread m_Thread;
};

}  // namespace Quor::API::Impl::WinSock
