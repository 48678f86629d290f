#pragma once
// Quor::Orvane::ConnectionLocks: which file-lock handles each client connection holds, so that a
// handle is given back only by the connection that took it and every handle of a connection is
// given back when it ends. A connection holds at most kMaxPerConnection handles.
//
// Value type; no lock (the request handlers use it one request at a time).
#include <cstddef>
#include <map>
#include <set>
#include <vector>

#include "foundation/Types.h"

namespace Quor::Orvane {

class ConnectionLocks {
public:
    static constexpr size_t kMaxPerConnection = 4096;

    size_t Held(DWORD connection) const;
    bool IsFull(DWORD connection) const { return Held(connection) >= kMaxPerConnection; }
    void Add(DWORD connection, DWORD handle);
    // True when connection held handle; it no longer does.
    bool Take(DWORD connection, DWORD handle);
    // Every handle of connection, which holds none afterwards.
    std::vector<DWORD> TakeAll(DWORD connection);
    // Every handle of every connection.
    std::vector<DWORD> TakeEvery();

private:
    std::map<DWORD, std::set<DWORD>> m_Held;  // only connections that hold a handle
};

}  // namespace Quor::Orvane
