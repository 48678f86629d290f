#include "protocol/PacketReader.h"

#include <cstring>

namespace Quor::OrvaneProtocol {
namespace {
// The smallest string (an empty text) and the size of a word on the wire.
constexpr size_t kMinStringBytes = 5;
constexpr size_t kWordBytes = 4;
}  // namespace

bool PacketReader::Float(float& value) {
    DWORD bits = 0;
    if (!m_In.U32(bits)) return false;
    static_assert(sizeof bits == sizeof value);
    std::memcpy(&value, &bits, sizeof value);
    return true;
}

bool PacketReader::Flag(bool& value) {
    uint8_t byte = 0;
    if (!m_In.U8(byte)) return false;
    value = (byte & 1) != 0;
    return true;
}

bool PacketReader::String(std::string& text) {
    DWORD length = 0;
    const uint8_t* bytes = nullptr;
    if (!m_In.U32(length) || length == 0 || !m_In.View(bytes, length) || bytes[length - 1] != 0) {
        // Poison the reader so that no later field is read behind a bad one.
        m_In.Seek(m_In.Size() + 1);
        return false;
    }
    text.assign(reinterpret_cast<const char*>(bytes),
                ::strnlen(reinterpret_cast<const char*>(bytes), length));
    return true;
}

bool PacketReader::Strings(std::vector<std::string>& texts) {
    texts.clear();
    DWORD count = 0;
    if (!m_In.U32(count)) return false;
    if (count > m_In.Remaining() / kMinStringBytes) {
        m_In.Seek(m_In.Size() + 1);
        return false;
    }
    texts.reserve(count);
    for (DWORD i = 0; i < count; ++i) {
        std::string text;
        if (!String(text)) {
            texts.clear();
            return false;
        }
        texts.push_back(std::move(text));
    }
    return true;
}

bool PacketReader::Words(std::vector<DWORD>& values) {
    values.clear();
    DWORD count = 0;
    if (!m_In.U32(count)) return false;
    if (count > m_In.Remaining() / kWordBytes) {
        m_In.Seek(m_In.Size() + 1);
        return false;
    }
    values.resize(count);
    for (DWORD& value : values) m_In.U32(value);
    return true;
}

}  // namespace Quor::OrvaneProtocol
