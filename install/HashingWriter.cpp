#include "install/HashingWriter.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace Quor::User {

size_t HashingWriter::Write(const void* data, size_t size) {
    if (m_File.IsValid()) {
        const char* bytes = static_cast<const char*>(data);
        size_t left = size;
        while (left > 0) {
            const ssize_t n = ::write(m_File.Get(), bytes, left);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return 0;
            bytes += n;
            left -= static_cast<size_t>(n);
        }
    }
    m_Md5.Update(data, static_cast<UINT>(size));
    return size;
}

bool HashingWriter::Matches(const MD5::DIGEST& expected) {
    if (!m_Final) {
        m_Md5.Final();
        m_Final = true;
    }
    return std::memcmp(m_Md5.GetDigest(), expected, sizeof(MD5::DIGEST)) == 0;
}

bool HashingWriter::Close() {
    if (!m_File.IsValid()) return true;
    return ::close(m_File.Release()) == 0;
}

}  // namespace Quor::User
