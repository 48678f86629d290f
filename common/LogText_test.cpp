#include "common/LogText.h"

#include <gtest/gtest.h>

#include <string>

namespace Quor::Log {
namespace {

using namespace std::string_literals;

TEST(LogText, EscapesWhatCouldEndOrForgeALineAndCutsLongTexts) {
    const std::string euro = "\xE2\x82\xAC";  // three bytes of one character
    const struct {
        std::string text;
        size_t limit;
        std::string logged;
    } cases[] = {
        {"", 8, ""},
        {"project_1", 256, "project_1"},
        {"a\nb\rc\td\x7f"s + '\0' + "e", 256, "a\\x0ab\\x0dc\\x09d\\x7f\\x00e"},
        {"say \"hi\" \\ bye", 256, "say \\\"hi\\\" \\\\ bye"},
        {"(  ERROR)[00:00:00.000] forged\n(  ERROR)", 256, "(  ERROR)[00:00:00.000] forged\\x0a(  ERROR)"},
        {"12345678", 8, "12345678"},  // exactly the limit: whole
        {"123456789", 8, "12345678...(cut, 9 bytes)"},
        {"1234567\n", 8, "1234567...(cut, 8 bytes)"},          // an escape is never cut in two
        {"123456" + euro, 8, "123456...(cut, 9 bytes)"},       // nor a UTF-8 sequence
        {"12345" + euro, 8, "12345" + euro},
        {std::string(4000, 'n'), 256, std::string(256, 'n') + "...(cut, 4000 bytes)"},
        {std::string(4000, '\n'), 256, [] {
             std::string s;
             for (int i = 0; i < 64; ++i) s += "\\x0a";
             return s + "...(cut, 4000 bytes)";
         }()},
    };
    for (const auto& c : cases) EXPECT_EQ(CutText(c.text, c.limit), c.logged) << "text of " << c.text.size() << " bytes";
    EXPECT_EQ(CutText(std::string(300, 'x')), std::string(kLogTextLimit, 'x') + "...(cut, 300 bytes)");
}

}  // namespace
}  // namespace Quor::Log
