#include "api/FindFileResult.h"

#include <algorithm>
#include <strings.h>

namespace Quor::API::Impl {

namespace {

bool EqualNoCase(const char* a, const char* b, size_t length) { return ::strncasecmp(a, b, length) == 0; }

size_t FindNoCase(const std::string& text, const std::string& part) {
    const auto found = std::search(text.begin(), text.end(), part.begin(), part.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
    return found == text.end() ? std::string::npos : static_cast<size_t>(found - text.begin());
}

}  // namespace

bool FindFileResult::Predicate(const FindFileResultItem& a, const FindFileResultItem& b) {
    if (a.name != b.name) return a.name < b.name;
    return a.type < b.type;
}

void FindFileResult::AddIfNotDuplicate(const std::string& name, const FindFileResultItem::TYPE type) {
    FindFileResultItem item;
    item.type = type;
    item.name = name;
    const auto range = std::equal_range(m_Items.begin(), m_Items.end(), item, &Predicate);
    if (range.first == range.second) m_Items.insert(range.first, std::move(item));
}

bool DoesNameMatchPattern(const std::string& name, const std::string& prefix, const std::string& middle,
                          const std::string& suffix) {
    if (!prefix.empty() && (name.size() < prefix.size() || !EqualNoCase(name.c_str(), prefix.c_str(), prefix.size())))
        return false;
    size_t matchPoint = prefix.size();
    if (!middle.empty()) {
        const size_t found = FindNoCase(name, middle);
        if (found == std::string::npos) return false;
        matchPoint = found + middle.size();
    }
    if (suffix.empty()) return true;
    if (name.size() < suffix.size()) return false;  // nothing to compare the suffix with
    const size_t suffixStart = name.size() - suffix.size();
    if (suffixStart < matchPoint) return true;  // the suffix would overlap prefix and middle
    return EqualNoCase(name.c_str() + suffixStart, suffix.c_str(), suffix.size());
}

}  // namespace Quor::API::Impl
