#include "api/RecvThread.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <system_error>
#include <vector>

#include "api/ConnectionManager.h"
#include "common/Log.h"
#include "foundation/ByteOrder.h"
#include "protocol/PacketType.h"

namespace Quor::API::Impl::WinSock {

using Quor::Log::ERROR;
using Quor::Log::VERBOSE;

namespace {
constexpr DWORD kReadSize = 1024;
}  // namespace

RecvThread::RecvThread(Manager& manager, Vorn::Sockets::Socket socket, HRESULT& result)
    : m_Manager(manager), m_Socket(socket) {
    QUOR_LOG(VERBOSE, "(0x%08x)", static_cast<unsigned>(socket));
    try {
        m_Thread = std::thread([this] { ThreadProc(); });
        result = S_OK;
    } catch (const std::system_error&) {
        QUOR_LOG(ERROR, "Failed to create thread.");
        result = E_FAIL;
    }
}

RecvThread::~RecvThread() {
    QUOR_LOG(VERBOSE, "()");
    if (!m_Thread.joinable()) return;
    // Ends a read that waits and makes every later one return at once.
    ::shutdown(m_Socket, SHUT_RDWR);
    m_Thread.join();
}

void RecvThread::ThreadProc() {
    QUOR_LOG(VERBOSE, "()");
    std::vector<BYTE> buffer;
    size_t held = 0;
    bool running = true;
    while (running) {
        if (buffer.size() < held + kReadSize) buffer.resize(held + kReadSize);
        Vorn::Sockets::Socket socket = m_Socket;
        DWORD received = 0;
        if (!Vorn::Sockets::Recv(socket, buffer.data() + held, kReadSize, received)) {
            QUOR_LOG(ERROR, "Sockets::Recv failed (error %d).", Vorn::Sockets::GetLastError());
            break;
        }
        QUOR_LOG(VERBOSE, "Recv returned %u bytes.", received);
        if (received == 0) {
            QUOR_LOG(VERBOSE, "Socket has been closed.");
            break;
        }
        held += received;
        size_t read = 0;
        while (held - read >= 4) {
            const DWORD length = Vorn::Bytes::LoadLE32(buffer.data() + read);
            if (length < Quor::OrvaneProtocol::RESPONSE_HEADER_SIZE || length > MAX_PACKET_SIZE) {
                QUOR_LOG(ERROR, "Packet length %u is outside %u..%u bytes: closing the connection.", length,
                         Quor::OrvaneProtocol::RESPONSE_HEADER_SIZE, MAX_PACKET_SIZE);
                running = false;
                break;
            }
            if (held - read < length) break;
            PACKET packet;
            packet.connection = static_cast<DWORD>(m_Socket);
            packet.size = length;
            packet.data.reset(new BYTE[length]);
            std::memcpy(packet.data.get(), buffer.data() + read, length);
            m_Manager.Append(std::move(packet));
            read += length;
        }
        // Keep the unread tail at the front of the buffer.
        if (read) {
            std::memmove(buffer.data(), buffer.data() + read, held - read);
            held -= read;
        }
    }
    m_Manager.EndConnection();
    QUOR_LOG(VERBOSE, "Terminating (Thread ID: 0x%08lx).", static_cast<unsigned long>(gettid()));
}

}  // namespace Quor::API::Impl::WinSock
