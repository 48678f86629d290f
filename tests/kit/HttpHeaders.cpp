#include "tests/kit/HttpHeaders.h"

#include <cctype>

namespace QuorTest {

bool EqualsNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::string FindHeader(const HttpHeaders& headers, const std::string& name) {
    for (const auto& [key, value] : headers) {
        if (EqualsNoCase(key, name)) return value;
    }
    return {};
}

bool HasHeader(const HttpHeaders& headers, const std::string& name) {
    for (const auto& field : headers) {
        if (EqualsNoCase(field.first, name)) return true;
    }
    return false;
}

namespace {
std::string Trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return {};
    size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}
}  // namespace

bool ParseHeaderLines(const std::string& block, HttpHeaders& headers) {
    size_t position = 0;
    while (position < block.size()) {
        size_t end = block.find('\n', position);
        if (end == std::string::npos) end = block.size();
        std::string line = block.substr(position, end - position);
        position = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        size_t colon = line.find(':');
        if (colon == std::string::npos || colon == 0) return false;
        std::string name = line.substr(0, colon);
        if (name.find_first_of(" \t") != std::string::npos) return false;
        headers.emplace_back(name, Trim(line.substr(colon + 1)));
    }
    return true;
}

}  // namespace QuorTest
