#include "kernel/ConnectionLocks.h"

namespace Quor::Orvane {

size_t ConnectionLocks::Held(DWORD connection) const {
    const auto found = m_Held.find(connection);
    return found == m_Held.end() ? 0 : found->second.size();
}

void ConnectionLocks::Add(DWORD connection, DWORD handle) {
    m_Held[connection].insert(handle);
}

bool ConnectionLocks::Take(DWORD connection, DWORD handle) {
    const auto found = m_Held.find(connection);
    if (found == m_Held.end() || found->second.erase(handle) == 0) return false;
    if (found->second.empty()) m_Held.erase(found);
    return true;
}

std::vector<DWORD> ConnectionLocks::TakeAll(DWORD connection) {
    std::vector<DWORD> handles;
    const auto found = m_Held.find(connection);
    if (found == m_Held.end()) return handles;
    handles.assign(found->second.begin(), found->second.end());
    m_Held.erase(found);
    return handles;
}

std::vector<DWORD> ConnectionLocks::TakeEvery() {
    std::vector<DWORD> handles;
    for (const auto& [connection, held] : m_Held) handles.insert(handles.end(), held.begin(), held.end());
    m_Held.clear();
    return handles;
}

}  // namespace Quor::Orvane
