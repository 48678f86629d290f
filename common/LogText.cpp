#include "common/LogText.h"

namespace Quor::Log {

namespace {

// The bytes of text from at that belong together: an escaped byte, or one UTF-8 sequence (a lead
// byte and the continuation bytes that follow it, at most three).
size_t PieceLength(const std::string& text, size_t at) {
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    if (lead < 0xC0) return 1;
    size_t length = 1;
    while (length < 4 && at + length < text.size() &&
           (static_cast<unsigned char>(text[at + length]) & 0xC0) == 0x80)
        ++length;
    return length;
}

void AppendEscaped(std::string& out, const std::string& text, size_t at, size_t length) {
    static const char kHex[] = "0123456789abcdef";
    for (size_t i = at; i < at + length; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else if (c == '\\' || c == '"') {
            out += '\\';
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(c);
        }
    }
}

}  // namespace

std::string CutText(const std::string& text, size_t limit) {
    std::string out;
    out.reserve(text.size() < limit ? text.size() : limit);
    std::string piece;
    for (size_t at = 0; at < text.size();) {
        const size_t length = PieceLength(text, at);
        piece.clear();
        AppendEscaped(piece, text, at, length);
        if (out.size() + piece.size() > limit) {
            out += "...(cut, " + std::to_string(text.size()) + " bytes)";
            return out;
        }
        out += piece;
        at += length;
    }
    return out;
}

}  // namespace Quor::Log
