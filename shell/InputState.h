#pragma once
// The process-wide state of the input layer (shell/Input.h), shared by its event handling and its
// cursor control. Main thread only.
#include <cstdint>
#include <iterator>
#include <list>

#include "shell/Input.h"

namespace Quor::Shell {

// A first-in first-out queue of records whose spent records wait in a pool for reuse.
template <typename Record>
class RecordQueue {
public:
    Record& Push(uint32_t time) {
        if (m_pool.empty())
            m_queue.emplace_back();
        else
            m_queue.splice(m_queue.end(), m_pool, m_pool.begin());
        m_queue.back() = Record{time, 0};
        return m_queue.back();
    }
    // Copies up to *count oldest records; unless peek they return to the pool.
    void Take(Record* out, uint32_t* count, bool peek) {
        uint32_t copied = 0;
        auto it = m_queue.begin();
        while (copied < *count && it != m_queue.end()) {
            out[copied++] = *it;
            if (peek) {
                ++it;
            } else {
                auto next = std::next(it);
                m_pool.splice(m_pool.end(), m_queue, it);
                it = next;
            }
        }
        *count = copied;
    }
    void Clear() { m_pool.splice(m_pool.end(), m_queue); }
    const std::list<Record>& Records() const { return m_queue; }
    size_t PoolSize() const { return m_pool.size(); }

private:
    std::list<Record> m_queue;
    std::list<Record> m_pool;
};

struct InputState {
    uint8_t keysCurrent[KEY_BITMAP_SIZE] = {};
    uint8_t keysPrevious[KEY_BITMAP_SIZE] = {};
    bool command = false;
    MouseState mouseCurrent = {};
    MouseState mousePrevious = {};
    RecordQueue<KeyRecord> keys;
    RecordQueue<MouseRecord> mouse;
    int lastX = 0, lastY = 0;
    bool captured = false;
    bool clipped = false;
    int clipLeft = 0, clipTop = 0, clipRight = 0, clipBottom = 0;
    int warpOffsetX = 0, warpOffsetY = 0;
    int sensitivity = 10;
    float scale = 1.0f;
};

InputState& Input();

}  // namespace Quor::Shell
