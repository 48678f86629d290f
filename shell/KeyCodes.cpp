#include "shell/KeyCodes.h"

#include <array>

namespace Quor::Shell {

namespace {

constexpr std::array<uint16_t, 127> MakeTable() {
    std::array<uint16_t, 127> t{};
    for (auto& v : t) v = SCAN_NONE;
    constexpr uint16_t pairs[][2] = {
        {0, 30},    {1, 31},    {2, 32},    {3, 33},    {4, 35},    {5, 34},    {6, 44},    {7, 45},
        {8, 46},    {9, 47},    {11, 48},   {12, 16},   {13, 17},   {14, 18},   {15, 19},   {16, 21},
        {17, 20},   {18, 2},    {19, 3},    {20, 4},    {21, 5},    {22, 7},    {23, 6},    {24, 13},
        {25, 10},   {26, 8},    {27, 12},   {28, 9},    {29, 11},   {30, 27},   {31, 24},   {32, 22},
        {33, 26},   {34, 23},   {35, 25},   {36, 28},   {37, 38},   {38, 36},   {39, 40},   {40, 37},
        {41, 39},   {42, 43},   {43, 51},   {44, 53},   {45, 49},   {46, 50},   {47, 52},   {48, 15},
        {49, 57},   {50, 41},   {51, 14},   {53, 1},    {55, 365},  {56, 42},   {57, 58},   {58, 56},
        {59, 29},   {60, 54},   {61, 184},  {62, 157},  {63, 364},  {65, 52},   {67, 199},  {69, 78},
        {75, 181},  {76, 156},  {78, 74},   {82, 82},   {83, 79},   {84, 80},   {85, 81},   {86, 75},
        {87, 76},   {88, 77},   {89, 71},   {91, 72},   {92, 73},   {96, 63},   {97, 64},   {98, 65},
        {99, 61},   {100, 66},  {101, 67},  {103, 87},  {109, 68},  {111, 88},  {115, 199}, {116, 201},
        {117, 211}, {118, 62},  {119, 207}, {120, 60},  {121, 209}, {122, 59},  {123, 203}, {124, 205},
        {125, 208}, {126, 200},
    };
    for (const auto& p : pairs) t[p[0]] = p[1];
    return t;
}

constexpr std::array<uint16_t, 127> SCAN_CODES = MakeTable();

}  // namespace

uint32_t MacKeyCodeToScanCode(uint32_t keyCode) { return keyCode < SCAN_CODES.size() ? SCAN_CODES[keyCode] : SCAN_NONE; }

bool BitTest(const uint8_t* bytes, uint32_t n) { return (bytes[n / 8] >> (n % 8)) & 1; }
void BitSet(uint8_t* bytes, uint32_t n) { bytes[n / 8] = static_cast<uint8_t>(bytes[n / 8] | (1u << (n % 8))); }
void BitClear(uint8_t* bytes, uint32_t n) { bytes[n / 8] = static_cast<uint8_t>(bytes[n / 8] & ~(1u << (n % 8))); }
void BitAssign(uint8_t* bytes, uint32_t n, int value) {
    if (value == 1)
        BitSet(bytes, n);
    else
        BitClear(bytes, n);
}

}  // namespace Quor::Shell
