#include "remote/PatchManifest.h"

#include <algorithm>
#include <cerrno>

#include "common/ConvertVersion.h"
#include "common/LastError.h"
#include "common/Log.h"
#include "common/ManifestFile.h"
#include "common/ProjectName.h"
#include "common/RelativeName.h"
#include "foundation/CStd/CStdStrings.h"
#include "remote/ManifestLines.h"

namespace Quor::Common {

bool PatchManifest::ENTRY::PredicateByName(const ENTRY& a, const ENTRY& b) {
    return Vorn::std_stricmp(a.name.c_str(), b.name.c_str()) < 0;
}

PatchManifest::PatchManifest()
    : m_SourceReleaseVersion(0xFFFFFFFF), m_DestinationReleaseVersion(0xFFFFFFFF) {}

HRESULT PatchManifest::AddEntry(const std::string& name, DWORD source, DWORD destination, DWORD size,
                                DWORD flags) {
    ENTRY entry{name, source, destination, size, flags};
    auto range = std::equal_range(m_Entries.begin(), m_Entries.end(), entry, ENTRY::PredicateByName);
    if (range.first != range.second) return E_FAIL;
    m_Entries.insert(range.first, std::move(entry));
    return S_OK;
}

HRESULT PatchManifest::Load(const std::string& path) {
    static const char* const TAG = "HRESULT Quor::Common::PatchManifest::Load(const std::string &)";
    QUOR_LOG_TAG(Log::DEBUG, TAG, "(\"%s\")", path.c_str());
    m_Entries.clear();
    UniqueFile file;
    HRESULT hr = OpenManifestFile(TAG, path, "rt", kMaxPatchManifestBytes, file);
    if (FAILED(hr)) return hr;

    const char* const where = path.c_str();
    hr = ManifestLines::ForEachLine(TAG, file.get(), where, [&](int n, const std::string& line) -> HRESULT {
        if (line.empty()) return S_OK;

        if (n == 1) {
            // The project name becomes a folder of remote paths: one plain folder name only.
            if (!IsValidProjectName(line)) {
                QUOR_LOG_TAG(Log::ERROR, TAG, "Invalid project name \"%s\" in \"%s\".", line.c_str(), where);
                return E_FAIL;
            }
            m_ProjectName = line;
            return S_OK;
        }

        if (n == 2) {
            const size_t comma = line.find(',');
            if (comma == std::string::npos) {
                QUOR_LOG_TAG(Log::ERROR, TAG, "Failure while parsing \"%s\" line %d.", where, n);
                return E_FAIL;
            }
            DWORD source = 0, destination = 0;
            HRESULT converted = ConvertVersion::ToNumber(line.substr(0, comma), source);
            if (FAILED(converted)) {
                QUOR_LOG_TAG(Log::ERROR, TAG, "Invalid src release version while parsing \"%s\" line %d.",
                             where, n);
                return converted;
            }
            if (FAILED(converted = ConvertVersion::ToNumber(line.substr(comma + 1), destination))) {
                QUOR_LOG_TAG(Log::ERROR, TAG, "Invalid dest release version while parsing \"%s\" line %d.",
                             where, n);
                return converted;
            }
            m_SourceReleaseVersion = source;
            m_DestinationReleaseVersion = destination;
            return S_OK;
        }

        // name,source,destination[,size[,flags]]
        size_t commas[4];
        const size_t found = ManifestLines::FindCommas(line, commas);
        if (found < 2) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "Failure while parsing \"%s\" line %d.", where, n);
            return E_FAIL;
        }
        const std::string name = line.substr(0, commas[0]);
        if (!IsValidRelativeName(name)) {
            // Only this entry is refused: the file it names has no patch then, and the update
            // fetches it whole.
            QUOR_LOG_TAG(Log::ERROR, TAG, "Invalid name \"%s\" while parsing \"%s\" line %d.", name.c_str(),
                         where, n);
            return S_OK;
        }
        const std::string sourceText = line.substr(commas[0] + 1, commas[1] - commas[0] - 1);
        const size_t destinationEnd = found >= 3 ? commas[2] : line.size();
        const std::string destinationText = line.substr(commas[1] + 1, destinationEnd - commas[1] - 1);
        DWORD source = 0, destination = 0;
        HRESULT converted = ConvertVersion::ToNumber(sourceText, source);
        if (FAILED(converted)) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "Invalid src version \"%s\" while parsing \"%s\" line %d.",
                         sourceText.c_str(), where, n);
            return converted;
        }
        if (FAILED(converted = ConvertVersion::ToNumber(destinationText, destination))) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "Invalid dest version \"%s\" while parsing \"%s\" line %d.",
                         destinationText.c_str(), where, n);
            return converted;
        }
        const DWORD size = found >= 3 ? ManifestLines::ParseDecimal(line.c_str() + commas[2] + 1) : 1;
        const DWORD flags = found >= 4 ? ManifestLines::ParseDecimal(line.c_str() + commas[3] + 1) : 0;
        if (m_Entries.size() >= kMaxManifestEntries) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "More than %zu entries in \"%s\" at line %d.", kMaxManifestEntries, where,
                         n);
            return E_FAIL;
        }
        if (FAILED(AddEntry(name, source, destination, size, flags))) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "Duplicate entry for \"%s\" while parsing \"%s\" line %d.",
                         name.c_str(), where, n);
            return E_FAIL;
        }
        return S_OK;
    });
    return CloseManifestFile(TAG, file, hr);
}

HRESULT PatchManifest::Save(const std::string& path) {
    static const char* const TAG = "HRESULT Quor::Common::PatchManifest::Save(const std::string &)";
    QUOR_LOG_TAG(Log::DEBUG, TAG, "(\"%s\")", path.c_str());
    UniqueFile file;
    HRESULT hr = OpenManifestFile(TAG, path, "wt", 0, file);
    if (FAILED(hr)) return hr;
    FILE* const stream = file.get();

    errno = 0;
    if (fprintf(stream, "%s\n", m_ProjectName.c_str()) < 0) {
        hr = LastErrorFailure(TAG);
        QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to write project name.");
    } else if (fprintf(stream, "%s,%s\n", ConvertVersion::ToString(m_SourceReleaseVersion).c_str(),
                       ConvertVersion::ToString(m_DestinationReleaseVersion).c_str()) < 0) {
        hr = LastErrorFailure(TAG);
        QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to write source and destination versions.");
    }
    for (size_t i = 0; i < m_Entries.size() && SUCCEEDED(hr); ++i) {
        const ENTRY& e = m_Entries[i];
        const std::string source = ConvertVersion::ToString(e.source),
                          destination = ConvertVersion::ToString(e.destination);
        if (fprintf(stream, "%s,%s,%s,%d,%d\n", e.name.c_str(), source.c_str(), destination.c_str(),
                    static_cast<int>(e.size), static_cast<int>(e.flags)) < 0) {
            hr = LastErrorFailure(TAG);
            QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to write entry \"%s, %s, %s, %d, %d\".", e.name.c_str(),
                         source.c_str(), destination.c_str(), static_cast<int>(e.size),
                         static_cast<int>(e.flags));
        }
    }
    return CloseManifestFile(TAG, file, hr);
}

std::string GetRemoteFilePath(const std::string& project, const PatchManifest::ENTRY& entry) {
    std::string path = "/projects/" + project + "/releases/" + ConvertVersion::ToString(entry.destination);
    if (entry.flags & PatchManifest::FLAG_WHOLE_FILE) {
        path += "/files/" + entry.name;
        if (entry.flags & PatchManifest::FLAG_ZLIB) path += ".compressed";
    } else {
        path += "/patches/" + ConvertVersion::ToString(entry.source) + "/" + entry.name;
        if (entry.flags & PatchManifest::FLAG_ZLIB) path += ".z";
    }
    if (entry.flags & PatchManifest::FLAG_LZMA) path += ".lzma2";
    return path;
}

}  // namespace Quor::Common
