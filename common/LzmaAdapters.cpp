#include "common/LzmaAdapters.h"

#include <cstdlib>
#include <cstring>

namespace Quor::Common::LzmaContainer {

int FileReader::Read(void* data, size_t& size) {
    const size_t asked = size;
    size = asked ? fread(data, 1, asked, m_file) : 0;
    if (size < asked && ferror(m_file)) return kReadError;
    return kOk;
}

size_t FileWriter::Write(const void* data, size_t size) { return size ? fwrite(data, 1, size, m_file) : 0; }

int MemoryReader::Read(void* data, size_t& size) {
    const size_t left = m_size - m_position;
    if (size > left) size = left;
    if (size) {
        std::memcpy(data, m_data + m_position, size);
        m_position += size;
    }
    return kOk;
}

HeapWriter::~HeapWriter() { free(m_data); }

size_t HeapWriter::Write(const void* data, size_t size) {
    if (size == 0) return 0;
    if (size > kMaxSize - m_size) return 0;
    const size_t needed = m_size + size;
    if (needed > m_capacity) {
        size_t capacity = m_capacity ? m_capacity : size;
        while (capacity < needed) capacity = capacity > kMaxSize / 2 ? kMaxSize : capacity * 2;
        void* grown = realloc(m_data, capacity);
        if (!grown) return 0;
        m_data = static_cast<uint8_t*>(grown);
        m_capacity = capacity;
    }
    std::memcpy(m_data + m_size, data, size);
    m_size = needed;
    return size;
}

bool HeapWriter::Reserve(size_t capacity) {
    if (m_data || capacity == 0) return true;
    if (capacity > kMaxSize) return false;
    m_data = static_cast<uint8_t*>(malloc(capacity));
    if (!m_data) return false;
    m_capacity = capacity;
    return true;
}

void* HeapWriter::Release() {
    void* data = m_data;
    m_data = nullptr;
    m_capacity = 0;
    m_size = 0;
    return data;
}

}  // namespace Quor::Common::LzmaContainer
