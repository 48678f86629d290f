#include "foundation/String_t.h"

#include "foundation/HashFunctions.h"

namespace Vorn {

const std::string String_t::skNullName = "__NullName__";

String_t::String_t(const std::string& initial) : hash(ELFHash(initial.c_str())), text(initial) {}

void String_t::Set(const std::string& newText) {
    hash = ELFHash(newText.c_str());
    text = newText;
}

String_t& String_t::operator=(const std::string& newText) {
    Set(newText);
    return *this;
}

bool String_t::Tokenize(const std::string& text, const std::string& delimiters, std::vector<std::string>& tokens) {
    tokens.clear();
    std::string::size_type start = text.find_first_not_of(delimiters);
    while (start != std::string::npos) {
        const std::string::size_type end = text.find_first_of(delimiters, start);
        tokens.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = text.find_first_not_of(delimiters, end);
    }
    return !tokens.empty();
}

std::vector<std::string> String_t::Tokenize(const std::string& text, const std::string& delimiters) {
    std::vector<std::string> tokens;
    Tokenize(text, delimiters, tokens);
    return tokens;
}

std::string String_t::Trim(const std::string& text, char open, char close) {
    if (text.empty()) return text;
    const std::string::size_type openAt = text.find(open);
    const std::string::size_type closeAt = text.rfind(close);
    // A missing open counts as the index before the text, a missing close as its length.
    const long long first = openAt == std::string::npos ? -1 : static_cast<long long>(openAt);
    const long long last = closeAt == std::string::npos ? static_cast<long long>(text.size())
                                                        : static_cast<long long>(closeAt);
    if (last - first <= 0) return text;
    return text.substr(static_cast<std::string::size_type>(first + 1),
                       static_cast<std::string::size_type>(last - first - 1));
}

std::string String_t::Trim(const std::string& text, const std::string& stopCharacters) {
    const std::string::size_type cut = text.find_first_of(stopCharacters);
    return cut == std::string::npos ? text : text.substr(0, cut);
}

std::string String_t::RmSpace(const std::string& text) {
    std::string copy = text;
    RmSpaceInPlace(copy);
    return copy;
}

void String_t::RmSpaceInPlace(std::string& text) {
    const std::string::size_type first = text.find_first_not_of(' ');
    if (first == std::string::npos) return;  // empty, or only spaces: unchanged
    const std::string::size_type last = text.find_last_not_of(' ');
    if (first == 0 && last + 1 == text.size()) return;
    text = text.substr(first, last - first + 1);
}

}  // namespace Vorn
