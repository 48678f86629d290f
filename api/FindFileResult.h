#pragma once
// Quor::API::Impl::FindFileResult: the names IMain::FindFile found, sorted by Predicate (name
// byte-wise with a prefix first, then files before folders), each once. Built by one thread, then
// read-only.
//
// DoesNameMatchPattern: a name against a pattern cut at its first two "*" into prefix, middle and
// suffix, without regard to case: the name starts with the prefix, holds the middle somewhere
// (the search starts at the name's first character, so it may overlap the prefix) and ends with
// the suffix; a suffix that would overlap what prefix and middle took is not compared, and a name
// shorter than the suffix does not match.
#include <string>
#include <vector>

#include "foundation/api/IMain.h"

namespace Quor::API::Impl {

class FindFileResult final : public Quor::API::IFindFileResult {
public:
    uint32_t GetCount() const override { return static_cast<uint32_t>(m_Items.size()); }
    const FindFileResultItem& GetByIndex(uint32_t index) const override { return m_Items[index]; }

    static bool Predicate(const FindFileResultItem& a, const FindFileResultItem& b);
    void AddIfNotDuplicate(const std::string& name, FindFileResultItem::TYPE type);

private:
    std::vector<FindFileResultItem> m_Items;
};

bool DoesNameMatchPattern(const std::string& name, const std::string& prefix, const std::string& middle,
                          const std::string& suffix);

}  // namespace Quor::API::Impl
