#include "foundation/Unicode.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace Vorn::Unicode;

namespace {

const char kGrin[] = "\xF0\x9F\x98\x80";  // U+1F600, four bytes

// Converts with the two-pass protocol: ask the size, then fill exactly that many elements.
std::vector<wchar_t> ToWide(const char* src, int srcLength) {
    const int needed = UTF8ToUTF16(src, srcLength, nullptr, 0);
    std::vector<wchar_t> out(static_cast<size_t>(needed), L'?');
    if (needed > 0) {
        EXPECT_EQ(UTF8ToUTF16(src, srcLength, out.data(), needed), needed);
    }
    return out;
}

std::string ToUtf8(const wchar_t* src, int srcLength) {
    const int needed = UTF16ToUTF8(src, srcLength, nullptr, 0);
    std::string out(static_cast<size_t>(needed), '?');
    if (needed > 0) {
        EXPECT_EQ(UTF16ToUTF8(src, srcLength, out.data(), needed), needed);
    }
    return out;
}

// A heap block exactly as large as the bytes given, so that ASan reports any read past them.
template <typename T>
std::unique_ptr<T[]> ExactCopy(const std::vector<T>& v) {
    auto copy = std::make_unique<T[]>(v.size());
    std::memcpy(copy.get(), v.data(), v.size() * sizeof(T));
    return copy;
}

}  // namespace

TEST(Unicode, FourByteSequenceRoundTripsThroughASurrogatePair) {
    EXPECT_EQ(UTF8ToUTF16(kGrin, 4, nullptr, 0), 2);
    EXPECT_EQ(ToWide(kGrin, -1), (std::vector<wchar_t>{0xD83D, 0xDE00, 0}));

    const wchar_t pair[] = {0xD83D, 0xDE00, 0};
    EXPECT_EQ(UTF16ToUTF8(pair, 2, nullptr, 0), 4);
    EXPECT_EQ(ToUtf8(pair, -1), std::string(kGrin, 5));

    // Highest code point, and one text with every sequence length.
    EXPECT_EQ(ToWide("\xF4\x8F\xBF\xBF", 4), (std::vector<wchar_t>{0xDBFF, 0xDFFF}));
    const char mixed[] = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
    const std::vector<wchar_t> wide = ToWide(mixed, -1);
    EXPECT_EQ(wide, (std::vector<wchar_t>{'a', 0xE9, 0x20AC, 0xD83D, 0xDE00, 0}));
    EXPECT_EQ(ToUtf8(wide.data(), -1), std::string(mixed, sizeof mixed));
}

TEST(Unicode, Utf8BytesOutsideSequences) {
    struct Case {
        std::string bytes;
        std::vector<wchar_t> units;
    };
    const Case cases[] = {
        {"\x80", {0x80}},                     // a stray continuation byte is its own value
        {"\xFF\xF8", {0xFF, 0xF8}},           // so are bytes that lead nothing
        {"\xC3" "A", {0xC1}},                 // following bytes are taken as they are
        {"\xE2\x82\xAC\xBF", {0x20AC, 0xBF}},
        {"\xC3\xA9", {0xE9}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.bytes));
        EXPECT_EQ(ToWide(c.bytes.data(), static_cast<int>(c.bytes.size())), c.units);
    }
}

TEST(Unicode, Utf16ReadsOnlyTheLow16Bits) {
    struct Case {
        std::vector<wchar_t> units;
        std::string bytes;
    };
    const Case cases[] = {
        {{static_cast<wchar_t>(0x1F600)}, "\xEF\x98\x80"},  // a 32-bit code point is read as 0xF600
        {{static_cast<wchar_t>(0x10041)}, "A"},
        {{0xDC00}, "\xED\xB0\x80"},                          // a lone low surrogate is any value
        {{0xD83D, 'A'}, "\xF0\x91\xA1\x81"},                 // a high surrogate takes whatever follows
        {{0x7F, 0x80, 0x7FF, 0x800, 0xFFFF}, "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.bytes));
        EXPECT_EQ(ToUtf8(c.units.data(), static_cast<int>(c.units.size())), c.bytes);
    }
}

TEST(Unicode, FullDestinationKeepsOverwritingItsLastElement) {
    // One element too small: the last character is cut and the terminator still ends the result.
    wchar_t wide[5];
    EXPECT_EQ(UTF8ToUTF16("h\xC3\xA9llo", -1, wide, 5), 5);
    EXPECT_EQ(std::wstring(wide), L"h\u00E9ll");

    char narrow[6];
    const wchar_t hello[] = L"h\u00E9llo";
    EXPECT_EQ(UTF16ToUTF8(hello, -1, narrow, 6), 6);
    EXPECT_STREQ(narrow, "h\xC3\xA9ll");

    // Without a terminator in the range the last element holds the last unit.
    wchar_t two[2];
    EXPECT_EQ(UTF8ToUTF16("abc", 3, two, 2), 2);
    EXPECT_EQ(two[0], L'a');
    EXPECT_EQ(two[1], L'c');

    // A surrogate pair that does not fit leaves its low half in the last element.
    wchar_t one[1];
    EXPECT_EQ(UTF8ToUTF16(kGrin, 4, one, 1), 1);
    EXPECT_EQ(one[0], 0xDE00);
}

TEST(Unicode, TruncatedSequenceStopsAtTheEndOfTheRange) {
    // Each source sits in a heap block of exactly its length: reading one byte further is an error
    // under ASan.
    struct Case {
        std::vector<char> bytes;
        std::vector<wchar_t> units;
    };
    const Case cases[] = {
        {{'a', 'b', '\xE2', '\x82'}, {'a', 'b'}},
        {{'a', 'b', '\xF0'}, {'a', 'b'}},
        {{'\xF0', '\x9F', '\x98'}, {}},
        {{'\xC3'}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.units));
        auto src = ExactCopy(c.bytes);
        const int length = static_cast<int>(c.bytes.size());
        EXPECT_EQ(UTF8ToUTF16(src.get(), length, nullptr, 0), static_cast<int>(c.units.size()));
        std::vector<wchar_t> out(4, L'?');
        const int n = UTF8ToUTF16(src.get(), length, out.data(), 4);
        out.resize(static_cast<size_t>(n));
        EXPECT_EQ(out, c.units);
    }

    auto high = ExactCopy(std::vector<wchar_t>{'a', 0xD83D});
    EXPECT_EQ(UTF16ToUTF8(high.get(), 2, nullptr, 0), 1);
    char narrow[4] = {'?', '?', '?', '?'};
    EXPECT_EQ(UTF16ToUTF8(high.get(), 2, narrow, 4), 1);
    EXPECT_EQ(narrow[0], 'a');
}

TEST(Unicode, SequenceCutByTheTerminatorKeepsTheTerminator) {
    // With srcLength -1 the terminator closes the range; a sequence it cuts yields nothing and the
    // result still ends in a terminator.
    auto bytes = ExactCopy(std::vector<char>{'a', 'b', '\xF0', '\x9F', '\0'});
    EXPECT_EQ(ToWide(bytes.get(), -1), (std::vector<wchar_t>{'a', 'b', 0}));
    EXPECT_EQ(ToWide("\xC3", -1), (std::vector<wchar_t>{0}));
    // A zero inside an explicit range cuts a sequence the same way; the conversion goes on.
    EXPECT_EQ(ToWide("\xE2\x82\0x", 4), (std::vector<wchar_t>{0, 'x'}));

    auto wide = ExactCopy(std::vector<wchar_t>{'a', 0xD83D, 0});
    EXPECT_EQ(ToUtf8(wide.get(), -1), std::string("a\0", 2));
    const wchar_t cut[] = {0xDBFF, 0, 'x'};
    EXPECT_EQ(ToUtf8(cut, 3), std::string("\0x", 2));
}

TEST(Unicode, NothingToConvert) {
    wchar_t wide[2] = {L'?', L'?'};
    char narrow[2] = {'?', '?'};
    EXPECT_EQ(UTF8ToUTF16("abc", 0, wide, 2), 0);
    EXPECT_EQ(UTF8ToUTF16("abc", -2, wide, 2), 0);
    EXPECT_EQ(UTF8ToUTF16(nullptr, -1, wide, 2), 0);
    EXPECT_EQ(UTF16ToUTF8(L"abc", 0, narrow, 2), 0);
    EXPECT_EQ(UTF16ToUTF8(nullptr, -1, narrow, 2), 0);
    EXPECT_EQ(wide[0], L'?');
    EXPECT_EQ(narrow[0], '?');
    // The empty text still converts its terminator.
    EXPECT_EQ(UTF8ToUTF16("", -1, wide, 2), 1);
    EXPECT_EQ(wide[0], 0);
}

TEST(Unicode, LocalCodePageIsUtf8) {
    wchar_t wide[3];
    EXPECT_EQ(LocalCodePageToUTF16("\xC3\xA9", -1, wide, 3), 2);
    EXPECT_EQ(wide[0], 0xE9);
    char narrow[3];
    int usedDefault = 7;
    EXPECT_EQ(UTF16ToLocalCodePage(wide, -1, narrow, 3, "?", &usedDefault), 3);
    EXPECT_STREQ(narrow, "\xC3\xA9");
    EXPECT_EQ(usedDefault, 7);
}
