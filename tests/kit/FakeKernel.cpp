#include "tests/kit/FakeKernel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tests/kit/LoopbackSocket.h"

namespace QuorTest {

FakeKernel::FakeKernel() {
    m_Listener = ListenLoopback(0);
    m_Port = LocalPort(m_Listener.get());
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        m_Wake[0].reset(fds[0]);
        m_Wake[1].reset(fds[1]);
    }
    m_Thread = std::thread([this] { Run(); });
}

FakeKernel::~FakeKernel() {
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Stop = true;
    }
    const char byte = 0;
    (void)!::write(m_Wake[1].get(), &byte, 1);
    m_Thread.join();
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (m_Client >= 0) ::close(m_Client);
}

void FakeKernel::Run() {
    for (;;) {
        pollfd fds[3];
        nfds_t count = 0;
        int client = -1;
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            if (m_Stop) return;
            if (m_StopListening && m_Listener.valid()) {
                m_Listener.reset();
                m_Changed.notify_all();
            }
            client = m_ClientClosed ? -1 : m_Client;
        }
        fds[count++] = {m_Wake[0].get(), POLLIN, 0};
        const int listener = m_Listener.get();
        if (listener >= 0) fds[count++] = {listener, POLLIN, 0};
        if (client >= 0) fds[count++] = {client, POLLIN, 0};
        if (::poll(fds, count, -1) < 0) continue;
        if (fds[0].revents) {
            char drain[64];
            while (::read(m_Wake[0].get(), drain, sizeof drain) > 0) {
            }
        }
        for (nfds_t i = 1; i < count; ++i) {
            if (!fds[i].revents) continue;
            if (fds[i].fd == listener) {
                const int accepted = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
                if (accepted < 0) continue;
                std::lock_guard<std::mutex> lock(m_Mutex);
                if (m_Client >= 0) ::close(m_Client);
                m_Client = accepted;
                m_ClientClosed = false;
                m_Received.clear();
                m_Pending.clear();
                ++m_Clients;
                m_Changed.notify_all();
            } else {
                uint8_t buffer[4096];
                const ssize_t got = ::recv(fds[i].fd, buffer, sizeof buffer, 0);
                std::vector<uint8_t> answer;
                std::unique_lock<std::mutex> lock(m_Mutex);
                if (fds[i].fd != m_Client) continue;
                if (got <= 0) {
                    m_ClientClosed = true;
                } else {
                    m_Received.insert(m_Received.end(), buffer, buffer + got);
                    if (m_Responder) {
                        m_Pending.insert(m_Pending.end(), buffer, buffer + got);
                        answer = m_Responder(m_Pending);
                    }
                }
                m_Changed.notify_all();
                lock.unlock();
                if (!answer.empty()) Send(answer);
            }
        }
    }
}

bool FakeKernel::WaitForClients(size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(m_Mutex);
    return m_Changed.wait_for(lock, timeout, [&] { return m_Clients >= count; });
}

std::vector<uint8_t> FakeKernel::Received() const {
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Received;
}

bool FakeKernel::WaitForBytes(size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(m_Mutex);
    return m_Changed.wait_for(lock, timeout, [&] { return m_Received.size() >= count; });
}

bool FakeKernel::WaitForClientClose(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(m_Mutex);
    return m_Changed.wait_for(lock, timeout, [&] { return m_ClientClosed; });
}

bool FakeKernel::Send(const std::vector<uint8_t>& bytes) {
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (m_Client < 0) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t sent = ::send(m_Client, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (sent <= 0) return false;
        done += static_cast<size_t>(sent);
    }
    return true;
}

void FakeKernel::CloseClient() {
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (m_Client >= 0) ::shutdown(m_Client, SHUT_RDWR);
    }
    const char byte = 0;
    (void)!::write(m_Wake[1].get(), &byte, 1);
}

void FakeKernel::StopListening() {
    std::unique_lock<std::mutex> lock(m_Mutex);
    m_StopListening = true;
    const char byte = 0;
    (void)!::write(m_Wake[1].get(), &byte, 1);
    m_Changed.wait(lock, [&] { return !m_Listener.valid(); });
}

}  // namespace QuorTest

namespace QuorTest {

void FakeKernel::SetResponder(Responder responder) {
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Responder = std::move(responder);
}

}  // namespace QuorTest
