#include "remote/PatchManifest.h"

#include <algorithm>
#include <cerrno>

#include "common/CRT.h"
#include "common/ConvertVersion.h"
#include "common/LastError.h"
#include "common/Log.h"
#include "common/RelativeName.h"
#include "common/TextFileHelper.h"
#include "common/UniqueFile.h"
#include "foundation/CStd/CStdStrings.h"
#include "remote/ManifestLines.h"

namespace Quor::Common {

namespace {

constexpr SIZE_T MAX_LINE = 1024;

}  // namespace

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
    FILE* opened = nullptr;
    CRT::fopen_s(&opened, path.c_str(), "rt");
    UniqueFile file(opened);
    FILE* const stream = file.get();
    if (!stream) {
        const HRESULT error = LastErrorFailure(TAG);
        QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to open \"%s\".", path.c_str());
        return error;
    }

    const char* const where = path.c_str();
    HRESULT hr = S_OK;
    for (int n = 1; SUCCEEDED(hr); ++n) {
        std::string line;
        hr = TextFileHelper::ReadString(stream, line, MAX_LINE);
        if (hr == TextFileHelper::E_END_OF_FILE) {
            hr = S_OK;
            break;
        }
        if (FAILED(hr)) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "Failure while reading from \"%s\" line %d.", where, n);
            break;
        }
        if (line.empty()) continue;

        if (n == 1) {
            m_ProjectName = line;
            continue;
        }

        if (n == 2) {
            const size_t comma = line.find(',');
            if (comma == std::string::npos) {
                QUOR_LOG_TAG(Log::ERROR, TAG, "Failure while parsing \"%s\" line %d.", where, n);
                hr = E_FAIL;
                break;
            }
            DWORD source = 0, destination = 0;
            if (FAILED(hr = ConvertVersion::ToNumber(line.substr(0, comma), source))) {
                QUOR_LOG_TAG(Log::ERROR, TAG, "Invalid src release version while parsing \"%s\" line %d.",
                             where, n);
                break;
            }
            if (FAILED(hr = ConvertVersion::ToNumber(line.substr(comma + 1), destination))) {
                QUOR_LOG_TAG(Log::ERROR, TAG, "Invalid dest release version while parsing \"%s\" line %d.",
                             where, n);
                break;
            }
            m_SourceReleaseVersion = source;
            m_DestinationReleaseVersion = destination;
            continue;
        }

        // name,source,destination[,size[,flags]]
        size_t commas[4];
        size_t found = 0;
        for (size_t at = line.find(','); at != std::string::npos && found < 4; at = line.find(',', at + 1))
            commas[found++] = at;
        if (found < 2) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "Failure while parsing \"%s\" line %d.", where, n);
            hr = E_FAIL;
            break;
        }
        const std::string name = line.substr(0, commas[0]);
        if (!IsValidRelativeName(name)) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "Invalid name \"%s\" while parsing \"%s\" line %d.", name.c_str(),
                         where, n);
            hr = E_FAIL;
            break;
        }
        const std::string sourceText = line.substr(commas[0] + 1, commas[1] - commas[0] - 1);
        const size_t destinationEnd = found >= 3 ? commas[2] : line.size();
        const std::string destinationText = line.substr(commas[1] + 1, destinationEnd - commas[1] - 1);
        DWORD source = 0, destination = 0;
        if (FAILED(hr = ConvertVersion::ToNumber(sourceText, source))) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "Invalid src version \"%s\" while parsing \"%s\" line %d.",
                         sourceText.c_str(), where, n);
            break;
        }
        if (FAILED(hr = ConvertVersion::ToNumber(destinationText, destination))) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "Invalid dest version \"%s\" while parsing \"%s\" line %d.",
                         destinationText.c_str(), where, n);
            break;
        }
        const DWORD size = found >= 3 ? ManifestLines::ParseDecimal(line.c_str() + commas[2] + 1) : 1;
        const DWORD flags = found >= 4 ? ManifestLines::ParseDecimal(line.c_str() + commas[3] + 1) : 0;
        if (FAILED(AddEntry(name, source, destination, size, flags))) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "Duplicate entry for \"%s\" while parsing \"%s\" line %d.",
                         name.c_str(), where, n);
            hr = E_FAIL;
            break;
        }
    }

    errno = 0;
    if (!file.Close()) {
        const HRESULT error = LastErrorFailure(TAG);
        if (SUCCEEDED(hr)) hr = error;
    }
    return hr;
}

HRESULT PatchManifest::Save(const std::string& path) {
    static const char* const TAG = "HRESULT Quor::Common::PatchManifest::Save(const std::string &)";
    QUOR_LOG_TAG(Log::DEBUG, TAG, "(\"%s\")", path.c_str());
    FILE* opened = nullptr;
    CRT::fopen_s(&opened, path.c_str(), "wt");
    UniqueFile file(opened);
    FILE* const stream = file.get();
    if (!stream) {
        const HRESULT error = LastErrorFailure(TAG);
        QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to open \"%s\".", path.c_str());
        return error;
    }

    HRESULT hr = S_OK;
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

    errno = 0;
    if (!file.Close()) {
        const HRESULT error = LastErrorFailure(TAG);
        if (SUCCEEDED(hr)) hr = error;
    }
    return hr;
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
