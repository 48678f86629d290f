#include "remote/MD5.h"

#include <cstring>

#include "common/EscapedText.h"
#include "foundation/ByteOrder.h"

namespace {

inline uint32_t Rotl(uint32_t x, int s) { return (x << s) | (x >> (32 - s)); }

// The four rounds of RFC 1321. The auxiliary functions are written in equivalent forms that
// need fewer dependent operations: F(x,y,z) = z ^ (x & (y ^ z)); G(x,y,z) = (x & z) + (y & ~z)
// (the two terms never share a set bit, so + equals |, and the two halves add in parallel);
// I(x,y,z) = y ^ (x | ~z).
#define MD5_F(a, b, c, d, x, s, k)                \
    a += (x) + (k) + ((d) ^ ((b) & ((c) ^ (d)))); \
    a = Rotl(a, s) + (b);
#define MD5_G(a, b, c, d, x, s, k)     \
    a += (x) + (k) + ((c) & ~(d));     \
    a += (b) & (d);                    \
    a = Rotl(a, s) + (b);
#define MD5_H(a, b, c, d, x, s, k)     \
    a += (x) + (k) + ((b) ^ (c) ^ (d)); \
    a = Rotl(a, s) + (b);
#define MD5_I(a, b, c, d, x, s, k)       \
    a += (x) + (k) + ((c) ^ ((b) | ~(d))); \
    a = Rotl(a, s) + (b);

// Runs the compression function over `blocks` consecutive 64-byte blocks.
void Transform(uint32_t state[4], const unsigned char* data, size_t blocks) {
    using Vorn::Bytes::LoadLE32;
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (; blocks; --blocks, data += 64) {
        const uint32_t x0 = LoadLE32(data), x1 = LoadLE32(data + 4), x2 = LoadLE32(data + 8),
                       x3 = LoadLE32(data + 12), x4 = LoadLE32(data + 16), x5 = LoadLE32(data + 20),
                       x6 = LoadLE32(data + 24), x7 = LoadLE32(data + 28), x8 = LoadLE32(data + 32),
                       x9 = LoadLE32(data + 36), x10 = LoadLE32(data + 40), x11 = LoadLE32(data + 44),
                       x12 = LoadLE32(data + 48), x13 = LoadLE32(data + 52), x14 = LoadLE32(data + 56),
                       x15 = LoadLE32(data + 60);
        const uint32_t aa = a, bb = b, cc = c, dd = d;

        MD5_F(a, b, c, d, x0, 7, 0xd76aa478u)
        MD5_F(d, a, b, c, x1, 12, 0xe8c7b756u)
        MD5_F(c, d, a, b, x2, 17, 0x242070dbu)
        MD5_F(b, c, d, a, x3, 22, 0xc1bdceeeu)
        MD5_F(a, b, c, d, x4, 7, 0xf57c0fafu)
        MD5_F(d, a, b, c, x5, 12, 0x4787c62au)
        MD5_F(c, d, a, b, x6, 17, 0xa8304613u)
        MD5_F(b, c, d, a, x7, 22, 0xfd469501u)
        MD5_F(a, b, c, d, x8, 7, 0x698098d8u)
        MD5_F(d, a, b, c, x9, 12, 0x8b44f7afu)
        MD5_F(c, d, a, b, x10, 17, 0xffff5bb1u)
        MD5_F(b, c, d, a, x11, 22, 0x895cd7beu)
        MD5_F(a, b, c, d, x12, 7, 0x6b901122u)
        MD5_F(d, a, b, c, x13, 12, 0xfd987193u)
        MD5_F(c, d, a, b, x14, 17, 0xa679438eu)
        MD5_F(b, c, d, a, x15, 22, 0x49b40821u)

        MD5_G(a, b, c, d, x1, 5, 0xf61e2562u)
        MD5_G(d, a, b, c, x6, 9, 0xc040b340u)
        MD5_G(c, d, a, b, x11, 14, 0x265e5a51u)
        MD5_G(b, c, d, a, x0, 20, 0xe9b6c7aau)
        MD5_G(a, b, c, d, x5, 5, 0xd62f105du)
        MD5_G(d, a, b, c, x10, 9, 0x02441453u)
        MD5_G(c, d, a, b, x15, 14, 0xd8a1e681u)
        MD5_G(b, c, d, a, x4, 20, 0xe7d3fbc8u)
        MD5_G(a, b, c, d, x9, 5, 0x21e1cde6u)
        MD5_G(d, a, b, c, x14, 9, 0xc33707d6u)
        MD5_G(c, d, a, b, x3, 14, 0xf4d50d87u)
        MD5_G(b, c, d, a, x8, 20, 0x455a14edu)
        MD5_G(a, b, c, d, x13, 5, 0xa9e3e905u)
        MD5_G(d, a, b, c, x2, 9, 0xfcefa3f8u)
        MD5_G(c, d, a, b, x7, 14, 0x676f02d9u)
        MD5_G(b, c, d, a, x12, 20, 0x8d2a4c8au)

        MD5_H(a, b, c, d, x5, 4, 0xfffa3942u)
        MD5_H(d, a, b, c, x8, 11, 0x8771f681u)
        MD5_H(c, d, a, b, x11, 16, 0x6d9d6122u)
        MD5_H(b, c, d, a, x14, 23, 0xfde5380cu)
        MD5_H(a, b, c, d, x1, 4, 0xa4beea44u)
        MD5_H(d, a, b, c, x4, 11, 0x4bdecfa9u)
        MD5_H(c, d, a, b, x7, 16, 0xf6bb4b60u)
        MD5_H(b, c, d, a, x10, 23, 0xbebfbc70u)
        MD5_H(a, b, c, d, x13, 4, 0x289b7ec6u)
        MD5_H(d, a, b, c, x0, 11, 0xeaa127fau)
        MD5_H(c, d, a, b, x3, 16, 0xd4ef3085u)
        MD5_H(b, c, d, a, x6, 23, 0x04881d05u)
        MD5_H(a, b, c, d, x9, 4, 0xd9d4d039u)
        MD5_H(d, a, b, c, x12, 11, 0xe6db99e5u)
        MD5_H(c, d, a, b, x15, 16, 0x1fa27cf8u)
        MD5_H(b, c, d, a, x2, 23, 0xc4ac5665u)

        MD5_I(a, b, c, d, x0, 6, 0xf4292244u)
        MD5_I(d, a, b, c, x7, 10, 0x432aff97u)
        MD5_I(c, d, a, b, x14, 15, 0xab9423a7u)
        MD5_I(b, c, d, a, x5, 21, 0xfc93a039u)
        MD5_I(a, b, c, d, x12, 6, 0x655b59c3u)
        MD5_I(d, a, b, c, x3, 10, 0x8f0ccc92u)
        MD5_I(c, d, a, b, x10, 15, 0xffeff47du)
        MD5_I(b, c, d, a, x1, 21, 0x85845dd1u)
        MD5_I(a, b, c, d, x8, 6, 0x6fa87e4fu)
        MD5_I(d, a, b, c, x15, 10, 0xfe2ce6e0u)
        MD5_I(c, d, a, b, x6, 15, 0xa3014314u)
        MD5_I(b, c, d, a, x13, 21, 0x4e0811a1u)
        MD5_I(a, b, c, d, x4, 6, 0xf7537e82u)
        MD5_I(d, a, b, c, x11, 10, 0xbd3af235u)
        MD5_I(c, d, a, b, x2, 15, 0x2ad7d2bbu)
        MD5_I(b, c, d, a, x9, 21, 0xeb86d391u)

        a += aa;
        b += bb;
        c += cc;
        d += dd;
    }
    state[0] = a;
    state[1] = b;
    state[2] = c;
    state[3] = d;
}

#undef MD5_F
#undef MD5_G
#undef MD5_H
#undef MD5_I

}  // namespace

void MD5::Init() {
    m_count[0] = m_count[1] = 0;
    m_state[0] = 0x67452301u;
    m_state[1] = 0xefcdab89u;
    m_state[2] = 0x98badcfeu;
    m_state[3] = 0x10325476u;
    std::memset(m_buffer, 0, sizeof m_buffer);
    std::memset(m_digest, 0, sizeof m_digest);
}

void MD5::Update(const void* data, UINT length) {
    const auto* in = static_cast<const unsigned char*>(data);
    const UINT used = (m_count[0] >> 3) & 63;
    const uint32_t bitsLow = length << 3;
    m_count[0] += bitsLow;
    if (m_count[0] < bitsLow) ++m_count[1];
    m_count[1] += length >> 29;

    UINT done = 0;
    if (used) {
        const UINT room = 64 - used;
        if (length < room) {
            if (length) std::memcpy(m_buffer + used, in, length);
            return;
        }
        std::memcpy(m_buffer + used, in, room);
        Transform(m_state, m_buffer, 1);
        done = room;
    }
    const UINT blocks = (length - done) / 64;
    if (blocks) {
        Transform(m_state, in + done, blocks);
        done += blocks * 64;
    }
    if (done < length) std::memcpy(m_buffer, in + done, length - done);
}

void MD5::Final() {
    unsigned char bits[8];
    Vorn::Bytes::StoreLE32(bits, m_count[0]);
    Vorn::Bytes::StoreLE32(bits + 4, m_count[1]);
    static const unsigned char padding[64] = {0x80};
    const UINT used = (m_count[0] >> 3) & 63;
    Update(padding, used < 56 ? 56 - used : 120 - used);
    Update(bits, 8);
    for (int i = 0; i < 4; ++i) Vorn::Bytes::StoreLE32(m_digest + 4 * i, m_state[i]);
}

void MD5::ToString(const DIGEST& digest, std::string& text) {
    static const char hex[] = "0123456789abcdef";
    text.resize(32);
    for (int i = 0; i < 16; ++i) {
        text[2 * i] = hex[digest[i] >> 4];
        text[2 * i + 1] = hex[digest[i] & 15];
    }
}

HRESULT MD5::FromString(const std::string& text, DIGEST& digest) {
    if (text.size() != 32) return E_FAIL;
    for (int i = 0; i < 16; ++i) {
        const int high = Quor::Common::HexDigitValue(text[2 * i]);
        const int low = Quor::Common::HexDigitValue(text[2 * i + 1]);
        if (high < 0 || low < 0) return E_FAIL;
        digest[i] = static_cast<unsigned char>(high << 4 | low);
    }
    return S_OK;
}
