#include "common/ReleaseManifest.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "common/Log.h"
#include "foundation/CStd/CStdStrings.h"

namespace Quor::Common {

namespace {
const char* const PREDICATE_TAG =
    "bool Quor::Common::PredicateByNameWithCancel::operator()(const ReleaseManifest::ENTRY &, "
    "const ReleaseManifest::ENTRY &)";

int CompareNames(const ReleaseManifest::ENTRY& a, const ReleaseManifest::ENTRY& b) {
    return Vorn::std_stricmp(a.name.c_str(), b.name.c_str());
}

ReleaseManifest::ENTRY MakeEntry(const std::string& name, DWORD version, const unsigned char (&md5)[16],
                                 DWORD flags, DWORD size, DWORD compressedSize) {
    ReleaseManifest::ENTRY entry;
    entry.name = name;
    entry.version = version;
    std::memcpy(entry.md5, md5, sizeof entry.md5);
    entry.flags = flags;
    entry.size = size;
    entry.compressedSize = compressedSize;
    return entry;
}
}  // namespace

bool IsCancelRequested(const signed char* cancel) {
    // The flag is written by another thread; read it as an atomic byte.
    return cancel && __atomic_load_n(cancel, __ATOMIC_RELAXED) != 0;
}

bool ReleaseManifest::ENTRY::PredicateByName(const ENTRY& a, const ENTRY& b) {
    return CompareNames(a, b) < 0;
}

bool ReleaseManifest::ENTRY::PredicateByNameThenFlags(const ENTRY& a, const ENTRY& b) {
    const int byName = CompareNames(a, b);
    if (byName != 0) return byName < 0;
    return a.flags < b.flags;
}

bool ReleaseManifest::ENTRY::PredicateByNameThenVersionThenFlags(const ENTRY& a, const ENTRY& b) {
    const int byName = CompareNames(a, b);
    if (byName != 0) return byName < 0;
    if (a.version != b.version) return a.version < b.version;
    return a.flags < b.flags;
}

void PredicateByNameWithCancel::CheckCancel() const {
    if (IsCancelRequested(m_Cancel)) {
        QUOR_LOG_TAG(Log::ERROR, PREDICATE_TAG, "Cancel detected, aborting by throwing an exception");
        throw std::exception();
    }
}

bool PredicateByNameWithCancel::operator()(const ReleaseManifest::ENTRY& a,
                                           const ReleaseManifest::ENTRY& b) const {
    CheckCancel();
    return ReleaseManifest::ENTRY::PredicateByName(a, b);
}

ReleaseManifest::ReleaseManifest() : m_ReleaseVersion(0xFFFFFFFF) {}

HRESULT ReleaseManifest::Add(const std::string& name, DWORD version, const unsigned char (&md5)[16],
                             DWORD flags, DWORD size, DWORD compressedSize) {
    ENTRY entry = MakeEntry(name, version, md5, flags, size, compressedSize);
    auto range = std::equal_range(m_Entries.begin(), m_Entries.end(), entry, ENTRY::PredicateByName);
    if (range.first != range.second) return E_FAIL;
    m_Entries.insert(range.first, std::move(entry));
    return S_OK;
}

HRESULT ReleaseManifest::AddUnsorted(const std::string& name, DWORD version, const unsigned char (&md5)[16],
                                     DWORD flags, DWORD size, DWORD compressedSize) {
    m_Entries.push_back(MakeEntry(name, version, md5, flags, size, compressedSize));
    return S_OK;
}

HRESULT ReleaseManifest::SortEntries(const signed char* cancel) {
    // The sort works on (name, position) keys so that a cancellation, which throws out of the
    // middle of std::sort, can never lose or duplicate an entry: the entries move only once the
    // order is complete. The keys are small and hold the name pointer, which keeps the sort fast.
    struct Key {
        const ENTRY* entry;
        const char* name;
    };
    std::vector<Key> keys;
    keys.reserve(m_Entries.size());
    for (const ENTRY& e : m_Entries) keys.push_back({&e, e.name.c_str()});
    std::vector<ENTRY> sorted;
    sorted.reserve(m_Entries.size());

    const PredicateByNameWithCancel predicate(cancel);
    try {
        std::sort(keys.begin(), keys.end(), [&](const Key& a, const Key& b) {
            predicate.CheckCancel();
            return Vorn::std_stricmp(a.name, b.name) < 0;
        });
    } catch (...) {
        // Only a cancellation throws out of the comparison; the entries stay as they were.
        return E_ABORT;
    }
    for (const Key& k : keys)
        sorted.push_back(std::move(m_Entries[static_cast<size_t>(k.entry - m_Entries.data())]));
    m_Entries.swap(sorted);
    return IsCancelRequested(cancel) ? E_ABORT : S_OK;
}

}  // namespace Quor::Common
