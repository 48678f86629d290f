#pragma once
// MD5 message digest (RFC 1321).
//
// Init, then Update any number of times with any lengths (0 included), then Final, which leaves
// the digest in the context (GetDigest). The digest bytes are in the order RFC 1321 gives them.
// A context is a plain value with no resources; it is not thread-safe, one thread uses it at a time.
// ToString and FromString convert a digest to and from 32 hexadecimal characters.
#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/Types.h"

class MD5 {
public:
    typedef unsigned char DIGEST[16];

    MD5() { Init(); }

    void Init();
    void Update(const void* data, UINT length);
    void Final();
    const DIGEST& GetDigest() const { return m_digest; }

    // 32 lower-case hexadecimal characters, two per byte in digest order.
    static void ToString(const DIGEST& digest, std::string& text);
    // Exactly 32 characters 0-9, a-f or A-F; anything else gives E_FAIL. On a bad character the
    // digest bytes before it are already written.
    static HRESULT FromString(const std::string& text, DIGEST& digest);

private:
    uint32_t m_count[2];  // number of bits hashed, modulo 2^64, low word first
    uint32_t m_state[4];
    unsigned char m_buffer[64];
    DIGEST m_digest;
};
