#pragma once
// 32-bit hashes of texts and byte ranges.
//
// Every function is pure and thread-safe. Hash values are unsigned 32-bit and all arithmetic wraps
// modulo 2^32. Texts are read up to their terminating zero; a null text hashes to 0 in the SDBM
// family (the other hashes expect a text). Case folding goes through the C library's `tolower`,
// so only "A" to "Z" fold in the "C" locale.
//
// Byte handling differs between hashes and is part of each hash's value (stored and compared
// values depend on it):
//   - "signed": a byte 0x80..0xFF enters as a negative value sign-extended to 32 bits;
//   - "lowered": the byte passes through `tolower` first.
#include <cstdint>

namespace Vorn {

class HashFunctions {
public:
    // ELF hash of the lowered, signed characters (same value as `ELFHash`).
    static uint32_t HashString(const char* text);
    // ELF hash of `length` raw bytes (unsigned, not lowered); 0 for length 0.
    static uint32_t HashBytes(const unsigned char* data, unsigned length);

    // SDBM hash (h = c + h * 65599) over lowered unsigned bytes, starting from 0. The forms with
    // more arguments hash the concatenation: a, then the separator, then b, so the hash of a path
    // joined with a separator equals the hash of the joined text. The separator is not lowered and
    // enters as a signed value. A null `a` gives 0; a null `b` counts as an empty text.
    static uint32_t HashString_SDBM(const char* a);
    static uint32_t HashString_SDBM(const char* a, char separator);
    static uint32_t HashString_SDBM(const char* a, const char* b);
    static uint32_t HashString_SDBM(const char* a, char separator, const char* b);
    // Continues the SDBM hash in `hash` over `text`, stores the running value back and returns it.
    static uint32_t HashString_SDBM_Inc(uint32_t& hash, const char* text);
};

// Hashes of a terminated text. ELF and FNV fold case; the others do not. All take bytes as signed.
uint32_t ELFHash(const char* text);  // ELF (System V ABI) hash; 0 for an empty text
uint32_t FNVHash(const char* text);  // 32-bit FNV-1 (offset basis 0x811C9DC5)
uint32_t ADDHash(const char* text);  // sum of the characters
uint32_t XORHash(const char* text);  // exclusive or of the characters
uint32_t ROTHash(const char* text);  // rotate left by 4, then exclusive or
uint32_t DJBHash(const char* text);  // h = c + h * 33, starting from 0
uint32_t SAXHash(const char* text);  // shift-add-xor
uint32_t OATHash(const char* text);  // one-at-a-time

}  // namespace Vorn
