#include "common/JsonText.h"

#include <gtest/gtest.h>

TEST(JsonText, EscapesQuotesBackslashesAndControlCharacters) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"1.2.3", "\"1.2.3\""},
        {"", "\"\""},
        {"a\"b", "\"a\\\"b\""},
        {"a\\b", "\"a\\\\b\""},
        {std::string("a\nb\x01", 4), "\"a\\u000ab\\u0001\""},
        {"caf\xc3\xa9", "\"caf\xc3\xa9\""},
    };
    for (const auto& [text, json] : cases) EXPECT_EQ(json, Quor::Common::JsonString(text));
}
