#include "foundation/File/UnpackedFile.h"

#include <cstring>

namespace Vorn::File {

int UnpackedFile::Seek(long offset, int origin) {
    const long size = static_cast<long>(Size());
    long base = 0;
    if (origin == 2) base = size;
    if (origin == 1) base = static_cast<long>(m_position);
    long target;
    if (__builtin_add_overflow(base, offset, &target)) target = offset < 0 ? 0 : size;
    if (target < 0) target = 0;
    if (target > size) target = size;
    m_position = static_cast<size_t>(target);
    return 0;
}

char* UnpackedFile::Gets(char* buffer, int size) {
    if (!buffer || size <= 0 || m_position >= Size()) return nullptr;
    int stored = 0;
    while (stored < size - 1 && m_position < Size()) {
        const char c = m_data[m_position++];
        if (c == '\r') continue;
        if (c == '\0') break;
        buffer[stored++] = c;
        if (c == '\n') break;
    }
    buffer[stored] = '\0';
    return buffer;
}

unsigned long UnpackedFile::Read(void* buffer, unsigned long size, unsigned long count) {
    if (size == 0 || count == 0 || m_position >= Size()) return 0;
    const size_t left = Size() - m_position;
    unsigned long wanted;
    if (__builtin_mul_overflow(size, count, &wanted) || wanted > left) wanted = left;
    std::memcpy(buffer, m_data.data() + m_position, wanted);
    m_position += wanted;
    return wanted / size;
}

}  // namespace Vorn::File
