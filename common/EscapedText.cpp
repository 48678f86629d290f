#include "common/EscapedText.h"

#include <cstdio>

namespace Quor::Common {

namespace {

bool IsSpecial(unsigned char c) { return c < 0x20 || c == 0x7F || c == '\\' || c == '"'; }

}  // namespace

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool NeedsEscape(const std::string& text) {
    for (char c : text)
        if (IsSpecial(static_cast<unsigned char>(c))) return true;
    return false;
}

std::string EscapeText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (IsSpecial(byte)) {
            char code[5];
            std::snprintf(code, sizeof code, "\\x%02X", byte);
            out += code;
        } else {
            out += c;
        }
    }
    return out;
}

bool UnescapeText(const std::string& text, std::string& out) {
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (i + 1 >= text.size()) return false;
        const char next = text[++i];
        if (next == '\\' || next == '"') {
            out += next;
        } else if (next == 'x' && i + 2 < text.size() && HexDigitValue(text[i + 1]) >= 0 && HexDigitValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexDigitValue(text[i + 1]) * 16 + HexDigitValue(text[i + 2]));
            i += 2;
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace Quor::Common
