#pragma once
// The keyboard's key codes as PC scan codes (set 1, 128 added for extended keys; 365 Command,
// 364 Function), and bit helpers over key bitmaps (bit n is bit n mod 8 of byte n / 8).
// Pure functions; the caller keeps n within its bitmap.
#include <cstdint>

namespace Quor::Shell {

// No scan code for the key.
constexpr uint32_t SCAN_NONE = 1024;

uint32_t MacKeyCodeToScanCode(uint32_t keyCode);

bool BitTest(const uint8_t* bytes, uint32_t n);
void BitSet(uint8_t* bytes, uint32_t n);
void BitClear(uint8_t* bytes, uint32_t n);
// Sets bit n for value 1, clears it for any other value.
void BitAssign(uint8_t* bytes, uint32_t n, int value);

}  // namespace Quor::Shell
