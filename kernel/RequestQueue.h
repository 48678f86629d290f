#pragma once
// Quor::Orvane::RequestQueue: the requests that wait to run, one first-in first-out line per
// connection, the connections taking turns. The next request is the oldest one of the connection
// whose turn it is; a connection that still waits after its request was taken goes to the back
// of the turns, one that newly has a request joins at the back. A client that sends many requests
// therefore delays each other client by at most one of its own, and one connection's requests
// always run in the order they came.
//
// Value type; no lock (the request server's thread alone uses it).
#include <deque>
#include <functional>
#include <map>

#include "foundation/Types.h"
#include "kernel/PACKET.h"

namespace Quor::Orvane {

class RequestQueue {
public:
    bool Empty() const { return m_Turns.empty(); }
    size_t Size() const;

    // Appends packet to the line of its connection.
    void Push(PACKET&& packet);
    // The request that runs next; only when not Empty.
    PACKET& Front();
    // Takes the request Front named out of the queue and passes the turn on.
    PACKET PopFront();
    // Removes every request of connection for which remove(packet) answers true, keeping the
    // order of the others.
    void RemoveIf(DWORD connection, const std::function<bool(const PACKET&)>& remove);
    // Drops every request of connection; answers how many there were.
    size_t Drop(DWORD connection);
    void Clear();

private:
    void Forget(DWORD connection);

    std::map<DWORD, std::deque<PACKET>> m_Lines;  // only connections with a waiting request
    std::deque<DWORD> m_Turns;                    // those connections, whose turn first
};

}  // namespace Quor::Orvane
