#pragma once
// Little-endian encoding of stored and transmitted numbers, and a bounds-checked reader.
//
// Every number in a file or on the wire goes through these helpers; structures are never copied
// from or to a buffer as a whole. ByteReader never reads past the bytes it was given: a read that
// does not fit fails, leaves the position unchanged, and makes ok() false for good.
// Neither type owns the bytes it works on; neither is thread-safe.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace Vorn::Bytes {

inline uint16_t LoadLE16(const void* p) {
    const auto* b = static_cast<const uint8_t*>(p);
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
}
inline uint32_t LoadLE32(const void* p) {
    const auto* b = static_cast<const uint8_t*>(p);
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
           (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
}
inline uint64_t LoadLE64(const void* p) {
    const auto* b = static_cast<const uint8_t*>(p);
    return static_cast<uint64_t>(LoadLE32(b)) | (static_cast<uint64_t>(LoadLE32(b + 4)) << 32);
}
inline void StoreLE16(void* p, uint16_t v) {
    auto* b = static_cast<uint8_t*>(p);
    b[0] = static_cast<uint8_t>(v);
    b[1] = static_cast<uint8_t>(v >> 8);
}
inline void StoreLE32(void* p, uint32_t v) {
    auto* b = static_cast<uint8_t*>(p);
    for (int i = 0; i < 4; ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void StoreLE64(void* p, uint64_t v) {
    auto* b = static_cast<uint8_t*>(p);
    for (int i = 0; i < 8; ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Appends little-endian numbers and raw bytes to a growing byte vector.
class ByteWriter {
public:
    explicit ByteWriter(std::vector<uint8_t>& out) : m_out(out) {}
    void U8(uint8_t v) { m_out.push_back(v); }
    void U16(uint16_t v) { Append(2, v); }
    void U32(uint32_t v) { Append(4, v); }
    void U64(uint64_t v) { Append(8, v); }
    void Raw(const void* data, size_t size) {
        const auto* b = static_cast<const uint8_t*>(data);
        m_out.insert(m_out.end(), b, b + size);
    }
    // Overwrites a 32-bit field written earlier (for sizes known only at the end).
    void PatchU32(size_t offset, uint32_t v) { StoreLE32(m_out.data() + offset, v); }
    size_t Size() const { return m_out.size(); }

private:
    void Append(int bytes, uint64_t v) {
        for (int i = 0; i < bytes; ++i) m_out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    std::vector<uint8_t>& m_out;
};

// Reads little-endian numbers from a byte range, refusing to read past its end.
class ByteReader {
public:
    ByteReader(const void* data, size_t size) : m_data(static_cast<const uint8_t*>(data)), m_size(size) {}

    bool U8(uint8_t& v) { return Fixed(1, [&](const uint8_t* p) { v = *p; }); }
    bool U16(uint16_t& v) { return Fixed(2, [&](const uint8_t* p) { v = LoadLE16(p); }); }
    bool U32(uint32_t& v) { return Fixed(4, [&](const uint8_t* p) { v = LoadLE32(p); }); }
    bool U64(uint64_t& v) { return Fixed(8, [&](const uint8_t* p) { v = LoadLE64(p); }); }
    bool Raw(void* out, size_t size) {
        return Fixed(size, [&](const uint8_t* p) { if (size) std::memcpy(out, p, size); });
    }
    // Points at the next size bytes without copying them.
    bool View(const uint8_t*& out, size_t size) { return Fixed(size, [&](const uint8_t* p) { out = p; }); }
    bool Skip(size_t size) { return Fixed(size, [](const uint8_t*) {}); }
    bool Seek(size_t offset) {
        if (!m_ok || offset > m_size) return Fail();
        m_pos = offset;
        return true;
    }

    size_t Position() const { return m_pos; }
    size_t Remaining() const { return m_size - m_pos; }
    size_t Size() const { return m_size; }
    bool ok() const { return m_ok; }

private:
    template <typename F>
    bool Fixed(size_t size, F&& take) {
        if (!m_ok || size > m_size - m_pos) return Fail();
        take(m_data + m_pos);
        m_pos += size;
        return true;
    }
    bool Fail() {
        m_ok = false;
        return false;
    }
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
    bool m_ok = true;
};

}  // namespace Vorn::Bytes
