#include "foundation/String_t.h"

#include <gtest/gtest.h>

#include "foundation/HashFunctions.h"

using Vorn::String_t;

TEST(String_t, HashFollowsTheText) {
    String_t s(std::string("Data/File.TXT"));
    EXPECT_EQ(s.ToString(), "Data/File.TXT");
    EXPECT_EQ(s.Hash(), Vorn::ELFHash("data/file.txt"));

    const String_t copy(s);
    s = std::string("other");
    EXPECT_EQ(s.Hash(), Vorn::ELFHash("other"));
    EXPECT_EQ(copy.Hash(), Vorn::ELFHash("data/file.txt"));
    EXPECT_EQ(copy.ToString(), "Data/File.TXT");

    s = copy;
    EXPECT_EQ(s.Hash(), copy.Hash());
    s.Set("\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(s.Hash(), Vorn::ELFHash("\xC3\xA9t\xC3\xA9"));

    // The hash covers the text up to its first zero byte.
    s.Set(std::string("ab\0cd", 5));
    EXPECT_EQ(s.ToString().size(), 5u);
    EXPECT_EQ(s.Hash(), Vorn::ELFHash("ab"));

    EXPECT_EQ(String_t::skNullName, "__NullName__");
}

TEST(String_t, Tokenize) {
    struct Case {
        std::string text, delimiters;
        std::vector<std::string> tokens;
    };
    const Case cases[] = {
        {";;a;;b;", ";", {"a", "b"}},
        {";;;", ";", {}},
        {"", ";", {}},
        {"one", ";", {"one"}},
        {" a,b\t,c ", " ,\t", {"a", "b", "c"}},
        {"a;b", "", {"a;b"}},
        {"dir/sub\\file.txt", "/\\", {"dir", "sub", "file.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("text '" + c.text + "' delimiters '" + c.delimiters + "'");
        std::vector<std::string> tokens = {"left", "over"};
        const std::string text = c.text;
        EXPECT_EQ(String_t::Tokenize(text, c.delimiters, tokens), !c.tokens.empty());
        EXPECT_EQ(tokens, c.tokens);
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(String_t::Tokenize(text, c.delimiters), c.tokens);
    }
}

TEST(String_t, TrimBetweenOpenAndClose) {
    const std::pair<std::string, std::string> cases[] = {
        {"a[bc]d", "bc"},   {"abc", "abc"},   {"[abc", "abc"},    {"ab]c", "ab"},
        {"[]", ""},         {"]abc[", "]abc["}, {"", ""},         {"[a]b]", "a]b"},
        {"[a[b]", "a[b"},   {"]", ""},        {"[", ""},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(String_t::Trim(text, '[', ']'), expected) << "text '" << text << "'";
    }
    EXPECT_EQ(String_t::Trim("\"quoted\"", '"', '"'), "quoted");
}

TEST(String_t, TrimAtStopCharacters) {
    const std::pair<std::string, std::string> cases[] = {
        {"key=value;x#y", "key=value"}, {"key#x;y", "key"}, {"plain", "plain"}, {";all", ""}, {"", ""},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(String_t::Trim(text, std::string(";#")), expected) << "text '" << text << "'";
    }
}

TEST(String_t, RmSpace) {
    const std::pair<std::string, std::string> cases[] = {
        {"   ", "   "}, {"  x ", "x"},   {"", ""},          {"x", "x"},
        {" a b ", "a b"}, {"\tx ", "\tx"}, {"  lead", "lead"}, {"trail  ", "trail"},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(String_t::RmSpace(text), expected) << "text '" << text << "'";
        std::string inPlace = text;
        String_t::RmSpaceInPlace(inPlace);
        EXPECT_EQ(inPlace, expected) << "text '" << text << "'";
    }
}
