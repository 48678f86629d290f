#pragma once
// A text that carries the case-insensitive ELF hash of itself, and static helpers that split, cut
// and strip std::string texts.
//
// String_t owns a copy of its text. The hash always belongs to the text: every change of the text
// recomputes it (over the text up to its first zero byte), copies take it over. Not thread-safe
// for concurrent writes; the static helpers are pure and never change their inputs.
#include <cstdint>
#include <string>
#include <vector>

namespace Vorn {

class String_t {
public:
    String_t(const std::string& text);  // implicit: a String_t stands wherever its text does
    String_t(const String_t&) = default;
    String_t& operator=(const String_t&) = default;

    void Set(const std::string& text);
    String_t& operator=(const std::string& text);

    const std::string& ToString() const { return text; }
    uint32_t Hash() const { return hash; }

    // Splits at every character of `delimiters`; runs of delimiters count as one and no empty
    // token is produced. `tokens` is emptied first. True when at least one token was found.
    static bool Tokenize(const std::string& text, const std::string& delimiters, std::vector<std::string>& tokens);
    static std::vector<std::string> Tokenize(const std::string& text, const std::string& delimiters);

    // The text strictly between the first `open` and the last `close`; a missing open means from
    // the start, a missing close to the end. The whole text when the close comes at or before the
    // open.
    static std::string Trim(const std::string& text, char open, char close);
    // The longest prefix of the text holding none of `stopCharacters`.
    static std::string Trim(const std::string& text, const std::string& stopCharacters);

    // Strips leading and trailing spaces (0x20 only). A text made only of spaces stays as it is.
    static std::string RmSpace(const std::string& text);
    static void RmSpaceInPlace(std::string& text);

    static const std::string skNullName;  // "__NullName__"

private:
    uint32_t hash;
    std::string text;
};

}  // namespace Vorn
