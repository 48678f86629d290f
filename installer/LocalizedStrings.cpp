#include "installer/LocalizedStrings.h"

#include <sstream>

#include "platform/SmallFile.h"

namespace Installer {
namespace {

constexpr size_t kMaxStringsBytes = 64 * 1024;

// The text between the quotes starting at `from`; npos in `next` when there is none.
std::string Quoted(const std::string& line, size_t from, size_t& next) {
    size_t open = line.find('"', from);
    size_t close = open == std::string::npos ? std::string::npos : line.find('"', open + 1);
    if (close == std::string::npos) {
        next = std::string::npos;
        return {};
    }
    next = close + 1;
    return line.substr(open + 1, close - open - 1);
}

}  // namespace

LocalizedStrings::LocalizedStrings(const std::string& bundlePath) {
    std::string text;
    Quor::Platform::ReadSmallRegularFile(bundlePath + "/Contents/Resources/Localizable.strings", kMaxStringsBytes, text);
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        size_t next = 0;
        std::string key = Quoted(line, 0, next);
        if (next == std::string::npos) continue;
        size_t equals = line.find('=', next);
        if (equals == std::string::npos) continue;
        std::string value = Quoted(line, equals, next);
        if (next != std::string::npos) m_texts[key] = value;
    }
}

std::string LocalizedStrings::Get(const std::string& key) const {
    auto found = m_texts.find(key);
    return found == m_texts.end() || found->second.empty() ? key : found->second;
}

}  // namespace Installer
