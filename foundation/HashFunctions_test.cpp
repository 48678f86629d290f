#include "foundation/HashFunctions.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace Vorn;

namespace {

const char kFox[] = "The quick brown fox jumps over the lazy dog";
const char kCafe[] = "Caf\xC3\xA9";  // two bytes of 0x80 or more: they enter as negative values

struct Known {
    const char* text;
    uint32_t elf, fnv, oat, djb, add, xorh, rot, sax;
};

// "printf" under ELF, "a" under FNV-1 and one-at-a-time, and the fox under one-at-a-time are
// published values; the rest were worked out by hand from the definitions.
const Known kKnown[] = {
    {"printf", 0x077905A6, 0xF37FAA00, 0x1605BB6C, 0x0D8C26F3, 0x293, 0x17, 0x0774F926, 0x000E2280},
    {"a", 0x61, 0x050C5D7E, 0xCA2E9442, 0x61, 0x61, 0x61, 0x61, 0x61},
    {kFox, 0x04280C77, 0xDC3F548E, 0x519E91F5, 0x25241CF9, 0xFD9, 0x4F, 0xF7C55681, 0xD46B8358},
    {kCafe, 0x006971D9, 0xD682F171, 0xB26A5357, 0x04F34436, 0x76, 0x2E, 0x00457596, 0x0440AEA8},
};

}  // namespace

TEST(Hashes, KnownValues) {
    for (const Known& k : kKnown) {
        SCOPED_TRACE(k.text);
        EXPECT_EQ(ELFHash(k.text), k.elf);
        EXPECT_EQ(HashFunctions::HashString(k.text), k.elf);
        EXPECT_EQ(FNVHash(k.text), k.fnv);
        EXPECT_EQ(OATHash(k.text), k.oat);
        EXPECT_EQ(DJBHash(k.text), k.djb);
        EXPECT_EQ(ADDHash(k.text), k.add);
        EXPECT_EQ(XORHash(k.text), k.xorh);
        EXPECT_EQ(ROTHash(k.text), k.rot);
        EXPECT_EQ(SAXHash(k.text), k.sax);
    }
}

TEST(Hashes, HighBytesEnterSignExtended) {
    // A lone 0xC3 enters as 0xFFFFFFC3; the ELF step then folds the top nibble away.
    EXPECT_EQ(ELFHash("\xC3"), 0x0FFFFF33u);
    EXPECT_EQ(DJBHash("\x80"), 0xFFFFFF80u);
    EXPECT_EQ(ADDHash("\xFF\x01"), 0u);
    // HashBytes takes the same bytes unsigned and does not fold case.
    const unsigned char c3 = 0xC3;
    EXPECT_EQ(HashFunctions::HashBytes(&c3, 1), 0xC3u);
    EXPECT_EQ(HashFunctions::HashBytes(reinterpret_cast<const unsigned char*>(kCafe), 5), 0x004982D9u);
    EXPECT_EQ(HashFunctions::HashBytes(reinterpret_cast<const unsigned char*>("A"), 1), 0x41u);
}

TEST(Hashes, EmptyInputsHashToZero) {
    EXPECT_EQ(ELFHash(""), 0u);
    EXPECT_EQ(HashFunctions::HashBytes(reinterpret_cast<const unsigned char*>("x"), 0), 0u);
    EXPECT_EQ(FNVHash(""), 0x811C9DC5u);
    EXPECT_EQ(HashFunctions::HashString_SDBM(""), 0u);
}

TEST(Hashes, ElfAndFnvFoldCaseOthersDoNot) {
    EXPECT_EQ(ELFHash("ReadMe.TXT"), ELFHash("readme.txt"));
    EXPECT_EQ(FNVHash("ReadMe.TXT"), FNVHash("readme.txt"));
    EXPECT_NE(DJBHash("ReadMe.TXT"), DJBHash("readme.txt"));
    EXPECT_NE(OATHash("ReadMe.TXT"), OATHash("readme.txt"));
}

TEST(SdbmHash, FoldsCaseAndRefusesNull) {
    EXPECT_EQ(HashFunctions::HashString_SDBM("abc"), HashFunctions::HashString_SDBM("ABC"));
    EXPECT_EQ(HashFunctions::HashString_SDBM("a"), 0x61u);
    EXPECT_EQ(HashFunctions::HashString_SDBM("printf"), 0x3E973EB9u);
    // Bytes of 0x80 or more enter unsigned here.
    EXPECT_EQ(HashFunctions::HashString_SDBM(kCafe), 0x187B33CEu);
    EXPECT_EQ(HashFunctions::HashString_SDBM(nullptr), 0u);
    EXPECT_EQ(HashFunctions::HashString_SDBM(nullptr, '/'), 0u);
    EXPECT_EQ(HashFunctions::HashString_SDBM(nullptr, "b"), 0u);
    EXPECT_EQ(HashFunctions::HashString_SDBM(nullptr, '/', "b"), 0u);
}

TEST(SdbmHash, JoinedFormsEqualTheHashOfTheJoinedText) {
    const uint32_t joined = HashFunctions::HashString_SDBM("Data\\Maps\\Town.bin");
    EXPECT_EQ(HashFunctions::HashString_SDBM("Data\\Maps", '\\', "Town.bin"), joined);
    EXPECT_EQ(HashFunctions::HashString_SDBM("DATA\\maps", '\\', "TOWN.BIN"), joined);
    EXPECT_EQ(HashFunctions::HashString_SDBM("Data\\Maps\\", "Town.bin"), joined);
    EXPECT_EQ(HashFunctions::HashString_SDBM("Data\\Maps", '\\'), HashFunctions::HashString_SDBM("Data\\Maps\\"));

    uint32_t running = HashFunctions::HashString_SDBM("Data\\Maps", '\\');
    EXPECT_EQ(HashFunctions::HashString_SDBM_Inc(running, "Town.bin"), joined);
    EXPECT_EQ(running, joined);

    // The separator is taken as it is: not lowered, and a high byte enters sign-extended.
    EXPECT_NE(HashFunctions::HashString_SDBM("a", 'B', "c"), HashFunctions::HashString_SDBM("abc"));
    EXPECT_EQ(HashFunctions::HashString_SDBM("", '\x80'), 0xFFFFFF80u);
}
