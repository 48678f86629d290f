#include "kernel/RequestQueue.h"

#include <algorithm>

namespace Quor::Orvane {

size_t RequestQueue::Size() const {
    size_t size = 0;
    for (const auto& [connection, line] : m_Lines) size += line.size();
    return size;
}

void RequestQueue::Push(PACKET&& packet) {
    std::deque<PACKET>& line = m_Lines[packet.connection];
    if (line.empty()) m_Turns.push_back(packet.connection);
    line.push_back(std::move(packet));
}

PACKET& RequestQueue::Front() {
    return m_Lines.at(m_Turns.front()).front();
}

PACKET RequestQueue::PopFront() {
    const DWORD connection = m_Turns.front();
    m_Turns.pop_front();
    std::deque<PACKET>& line = m_Lines.at(connection);
    PACKET packet = std::move(line.front());
    line.pop_front();
    if (line.empty())
        m_Lines.erase(connection);
    else
        m_Turns.push_back(connection);
    return packet;
}

void RequestQueue::RemoveIf(DWORD connection, const std::function<bool(const PACKET&)>& remove) {
    const auto found = m_Lines.find(connection);
    if (found == m_Lines.end()) return;
    std::erase_if(found->second, remove);
    if (found->second.empty()) Forget(connection);
}

size_t RequestQueue::Drop(DWORD connection) {
    const auto found = m_Lines.find(connection);
    if (found == m_Lines.end()) return 0;
    const size_t dropped = found->second.size();
    Forget(connection);
    return dropped;
}

void RequestQueue::Clear() {
    m_Lines.clear();
    m_Turns.clear();
}

void RequestQueue::Forget(DWORD connection) {
    m_Lines.erase(connection);
    std::erase(m_Turns, connection);
}

}  // namespace Quor::Orvane
