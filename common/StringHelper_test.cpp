#include "common/StringHelper.h"

#include <gtest/gtest.h>

#include <string>

using namespace Quor::Common;

TEST(StringHelper, ReplaceAllFixPathStringTrimAndToLower) {
    struct {
        const char *text, *from, *to, *expected;
    } replaces[] = {
        {"aaa", "aa", "b", "ba"}, {"a.b.c", ".", "::", "a::b::c"},
        {"abc", "", "x", "abc"},  {"abc", "b", "b", "abc"},
        {"", "a", "b", ""},       {"abc", "z", "y", "abc"},
        {"xabx", "x", "", "ab"},
    };
    for (const auto& c : replaces)
        EXPECT_EQ(StringHelper::ReplaceAll(c.text, c.from, c.to), c.expected) << c.text;

    struct {
        const char *path, *expected;
    } paths[] = {
        {"a\\/b", "a/b"},        {"////", "/"}, {"\\\\server\\share", "/server/share"},
        {"a//b///c/", "a/b/c/"}, {"", ""},
    };
    for (const auto& c : paths) {
        EXPECT_EQ(StringHelper::FixPathString(c.path), c.expected) << c.path;
        std::string out = "old";
        StringHelper::FixPathString(c.path, out);
        EXPECT_EQ(out, c.expected);
    }

    std::string trimmed = "old";
    StringHelper::Trim("   \t ", trimmed, " \t");
    EXPECT_EQ(trimmed, "");
    StringHelper::Trim("\t a b \t", trimmed, " \t");
    EXPECT_EQ(trimmed, "a b");
    StringHelper::Trim("xxaxx", trimmed, "x");
    EXPECT_EQ(trimmed, "a");

    std::string text = "MiXeD Case 123 \xC3\x89";
    StringHelper::ToLower(text);
    EXPECT_EQ(text, "mixed case 123 \xC3\x89");
}

TEST(StringHelper, ConvertsBetweenUtf8AndWideUnits) {
    std::wstring wide = L"old";
    EXPECT_TRUE(StringHelper::ConvertToWide("", wide));
    EXPECT_EQ(wide, L"");
    ASSERT_TRUE(StringHelper::ConvertToWide("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", wide));
    // One unit per character below 0x10000, a surrogate pair above.
    EXPECT_EQ(wide, (std::wstring{L'a', 0xE9, 0x20AC, 0xD83D, 0xDE00}));
    std::string back = "old";
    ASSERT_TRUE(StringHelper::ConvertToMultiByte(wide, back));
    EXPECT_EQ(back, "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_TRUE(StringHelper::ConvertToMultiByte(L"", back));
    EXPECT_EQ(back, "");
    ASSERT_TRUE(StringHelper::ConvertToMultiByte(L"Błąd Quor", back));
    EXPECT_EQ(back,
              "B\xC5\x82\xC4\x85"
              "d Quor");
}

TEST(StringHelper, ParseUnicodeValuesTurnsEscapesIntoUtf8) {
    struct {
        const char* text;
        const char* expected;
        bool ok;
    } cases[] = {
        {"caf\\u00e9", "caf\xC3\xA9", true},
        {"\\u20AC and \\u0041", "\xE2\x82\xAC and A", true},
        {"short", "short", true},
        {"\\u12", "\\u12", true},         // an escape needs six characters
        {"ab\\u123", "ab\\u123", true},   // starts within the last five characters
        {"\\uZZZZ!", "\\uZZZZ!", false},  // not hexadecimal: copied, reported
        {"\\\\u0041", "\\A", true},
        {"", "", true},
    };
    for (const auto& c : cases) {
        std::string result = "old";
        EXPECT_EQ(StringHelper::ParseUnicodeValues(c.text, result), c.ok) << c.text;
        EXPECT_EQ(result, c.expected) << c.text;
    }
}

TEST(StringHelper, NamedHtmlReferencesBecomeNumericOnes) {
    struct {
        const char *text, *expected;
    } cases[] = {
        {"caf&eacute;", "caf&#233;"},
        {"&laquo;&nbsp;&raquo;", "&laquo;&nbsp;&#187;"},
        {"a;b", "a;b"},
        {"&&copy;", "&&#169;"},
        {"&amp;&lt;&;", "&amp;&lt;&;"},
        {"&iexcl;&thorn;&yuml;", "&#161;&#254;&yuml;"},
        {"&Eacute; & x;", "&#201; & x;"},
        {"&eacute", "&eacute"},
    };
    for (const auto& c : cases) {
        std::string result = "old";
        StringHelper::ConvertHTMLEcsapeNameToCode(c.text, result);
        EXPECT_EQ(result, c.expected) << c.text;
    }
    const auto& names = StringHelper::GetEscapeNameToCodeMap();
    EXPECT_EQ(names.size(), 93u);
    EXPECT_EQ(names.at("iexcl"), "#161");
    EXPECT_EQ(names.at("thorn"), "#254");
    EXPECT_EQ(names.count("laquo"), 0u);
    EXPECT_EQ(names.count("amp"), 0u);
}

TEST(StringHelper, CaseInsensitiveCompareIsAStrictOrderIgnoringCase) {
    StringHelper::CaseInsensitiveCompare less;
    EXPECT_FALSE(less("Locale", "locale"));
    EXPECT_FALSE(less("locale", "Locale"));
    EXPECT_TRUE(less("a", "B"));
    EXPECT_TRUE(less("", "a"));
}
