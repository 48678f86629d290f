#pragma once
// Test helper: a scripted stand-in for the kernel's loopback listener. Listens on a free port of
// 127.0.0.1, takes connections one after another (the newest is "the client"), records every byte
// the client sends, sends the bytes a test gives, and closes the client or stops listening on
// command. Knows nothing of the protocol: tests build and decode packets themselves.
// Thread-safe; the destructor closes everything and joins its thread.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/kit/UniqueFd.h"

namespace QuorTest {

class FakeKernel {
public:
    FakeKernel();
    ~FakeKernel();
    FakeKernel(const FakeKernel&) = delete;
    FakeKernel& operator=(const FakeKernel&) = delete;

    uint16_t Port() const { return m_Port; }
    // True once `count` clients have connected since the start.
    bool WaitForClients(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Every byte the current client sent so far.
    std::vector<uint8_t> Received() const;
    // True once the current client sent at least `count` bytes in all.
    bool WaitForBytes(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // True once the current client closed its end.
    bool WaitForClientClose(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Sends all of `bytes` to the current client; false when there is none or the send fails.
    bool Send(const std::vector<uint8_t>& bytes);
    void CloseClient();
    // Answers the client as its bytes arrive: called on the helper's thread with the bytes not yet
    // taken; it removes the bytes it took from the front and returns the bytes to send back.
    using Responder = std::function<std::vector<uint8_t>(std::vector<uint8_t>& pending)>;
    void SetResponder(Responder responder);
    // Closes the listening socket: later connections are refused.
    void StopListening();

private:
    void Run();

    uint16_t m_Port = 0;
    UniqueFd m_Listener;
    UniqueFd m_Wake[2];
    mutable std::mutex m_Mutex;
    std::condition_variable m_Changed;
    int m_Client = -1;
    size_t m_Clients = 0;
    bool m_ClientClosed = false;
    bool m_Stop = false;
    bool m_StopListening = false;  // the thread closes the listener
    std::vector<uint8_t> m_Received;
    std::vector<uint8_t> m_Pending;  // bytes the responder has not taken
    Responder m_Responder;
    std::thread m_Thread;
};

}  // namespace QuorTest
