#include "remote/PackageManifest.h"

#include <algorithm>
#include <cerrno>

#include "common/LastError.h"
#include "common/Log.h"
#include "common/ManifestFile.h"
#include "common/RelativeName.h"
#include "foundation/CStd/CStdStrings.h"
#include "remote/ManifestLines.h"

namespace Quor::Common {

namespace {

int CompareNames(const std::string& a, const std::string& b) {
    return Vorn::std_stricmp(a.c_str(), b.c_str());
}

// A packaged file's name is its server path below the download path, so it may begin with one
// "/"; the rest must be a relative name.
bool IsValidPackagedName(const std::string& name) {
    return IsValidRelativeName(name.size() > 1 && name[0] == '/' ? std::string_view(name).substr(1) : name);
}

}  // namespace

bool PackageManifest::PredicateByName(const ENTRY& a, const ENTRY& b) {
    return CompareNames(a.name, b.name) < 0;
}

bool PackageManifest::PredicateByName(const PACKAGE& a, const PACKAGE& b) {
    return CompareNames(a.bin, b.bin) < 0;
}

HRESULT PackageManifest::AddEntry(const std::string& name, const std::string& bin, DWORD offset, DWORD length,
                                  DWORD value) {
    ENTRY entry{name, bin, offset, length, value};
    auto range = std::equal_range(m_Entries.begin(), m_Entries.end(), entry,
                                  static_cast<bool (*)(const ENTRY&, const ENTRY&)>(PredicateByName));
    if (range.first != range.second) return E_FAIL;
    m_Entries.insert(range.first, std::move(entry));

    PACKAGE key{bin, 0, 0};
    auto package = std::lower_bound(m_Packages.begin(), m_Packages.end(), key,
                                    static_cast<bool (*)(const PACKAGE&, const PACKAGE&)>(PredicateByName));
    if (package == m_Packages.end() || PredicateByName(key, *package))
        package = m_Packages.insert(package, key);
    package->total += length;
    return S_OK;
}

HRESULT PackageManifest::FindEntry(const std::string& name, ENTRY& entry) const {
    ENTRY key;
    key.name = name;
    auto found = std::lower_bound(m_Entries.begin(), m_Entries.end(), key,
                                  static_cast<bool (*)(const ENTRY&, const ENTRY&)>(PredicateByName));
    if (found == m_Entries.end() || PredicateByName(key, *found)) return E_FAIL;
    entry = *found;
    return S_OK;
}

HRESULT PackageManifest::FindPackage(const std::string& bin, PACKAGE& package) const {
    PACKAGE key{bin, 0, 0};
    auto found = std::lower_bound(m_Packages.begin(), m_Packages.end(), key,
                                  static_cast<bool (*)(const PACKAGE&, const PACKAGE&)>(PredicateByName));
    if (found == m_Packages.end() || PredicateByName(key, *found)) return E_FAIL;
    package = *found;
    return S_OK;
}

HRESULT PackageManifest::Load(const std::string& path) {
    static const char* const TAG = "HRESULT Quor::Common::PackageManifest::Load(const std::string &)";
    QUOR_LOG_TAG(Log::DEBUG, TAG, "(\"%s\")", path.c_str());
    UniqueFile file;
    HRESULT hr = OpenManifestFile(TAG, path, "rt", kMaxPackageManifestBytes, file);
    if (FAILED(hr)) return hr;

    hr = ManifestLines::ForEachLine(TAG, file.get(), path.c_str(), [&](int n, const std::string& line) {
        if (n == 1 || line.empty()) return S_OK;  // the magic line is not checked

        size_t commas[4];
        const size_t found = ManifestLines::FindCommas(line, commas);
        const std::string name = line.substr(0, found ? commas[0] : 0);
        const std::string bin =
            found >= 2 ? line.substr(commas[0] + 1, commas[1] - commas[0] - 1) : std::string();
        if (found < 4 || !IsValidPackagedName(name) || !IsValidRelativeName(bin)) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "Failure while parsing \"%s\" line %d.", path.c_str(), n);
            return E_FAIL;
        }
        const DWORD offset = ManifestLines::ParseDecimal(line.c_str() + commas[1] + 1);
        const DWORD length = ManifestLines::ParseDecimal(line.c_str() + commas[2] + 1);
        const DWORD value = ManifestLines::ParseDecimal(line.c_str() + commas[3] + 1);
        if (m_Entries.size() >= kMaxManifestEntries) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "More than %zu entries in \"%s\" at line %d.", kMaxManifestEntries,
                         path.c_str(), n);
            return E_FAIL;
        }
        const HRESULT added = AddEntry(name, bin, offset, length, value);
        if (FAILED(added)) QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to add a file.");
        return added;
    });
    return CloseManifestFile(TAG, file, hr);
}

HRESULT PackageManifest::Save(const std::string& path) {
    static const char* const TAG = "HRESULT Quor::Common::PackageManifest::Save(const std::string &)";
    QUOR_LOG_TAG(Log::DEBUG, TAG, "(\"%s\")", path.c_str());
    UniqueFile file;
    HRESULT hr = OpenManifestFile(TAG, path, "wt", 0, file);
    if (FAILED(hr)) return hr;
    FILE* const stream = file.get();

    errno = 0;
    if (fprintf(stream, "PKG1\n") < 0) {
        hr = LastErrorFailure(TAG);
        QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to write magic string.");
    }
    for (size_t i = 0; i < m_Entries.size() && SUCCEEDED(hr); ++i) {
        const ENTRY& e = m_Entries[i];
        // Numbers are written signed, as the format has them; ParseDecimal reads them back whole.
        if (fprintf(stream, "%s,%s,%d,%d,%d\n", e.name.c_str(), e.bin.c_str(), static_cast<int>(e.offset),
                    static_cast<int>(e.length), static_cast<int>(e.value)) < 0) {
            hr = LastErrorFailure(TAG);
            QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to write entry");
        }
    }
    return CloseManifestFile(TAG, file, hr);
}

}  // namespace Quor::Common
