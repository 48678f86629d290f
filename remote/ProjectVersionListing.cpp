#include "remote/ProjectVersionListing.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/CRT.h"
#include "common/ConvertVersion.h"
#include "common/LastError.h"
#include "common/LocalDirectoryStructure.h"
#include "common/Log.h"
#include "common/ReadLine.h"
#include "common/UniqueFile.h"
#include "foundation/CStd/CStd.h"

namespace Quor::Common {

namespace {

#define QUOR_PVL "Quor::Common::ProjectVersionListing::"
const char* const TAG_GET_QUOR = "HRESULT " QUOR_PVL "GetQuorVersion(std::string, DWORD &)";
const char* const TAG_GET_PROJECT = "HRESULT " QUOR_PVL "GetProjectVersion(DWORD, std::string &)";
const char* const TAG_ADD = "HRESULT " QUOR_PVL "Add(DWORD, const std::string &)";
const char* const TAG_LOAD = "HRESULT " QUOR_PVL "Load(const std::string &)";
const char* const TAG_SAVE = "HRESULT " QUOR_PVL "Save(const std::string &)";
#undef QUOR_PVL

// C-locale white space.
bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Splits at runs of white space; white space at the start gives an empty first token and at the
// end an empty last token.
std::vector<std::string> Tokens(const std::string& line) {
    std::vector<std::string> tokens;
    if (line.empty()) return tokens;
    std::string current;
    size_t i = 0;
    while (i < line.size()) {
        if (IsSpace(line[i])) {
            tokens.push_back(current);
            current.clear();
            while (i < line.size() && IsSpace(line[i])) ++i;
        } else {
            current += line[i++];
        }
    }
    tokens.push_back(current);
    return tokens;
}

}  // namespace

ProjectVersionListing::~ProjectVersionListing() {
    m_quorToProject.clear();
    m_projectToQuor.clear();
}

HRESULT ProjectVersionListing::GetQuorVersion(std::string projectVersion, DWORD& quorVersion) const {
    const auto found = m_projectToQuor.find(projectVersion);
    if (found == m_projectToQuor.end()) {
        QUOR_LOG_TAG(Log::ERROR, TAG_GET_QUOR, "Unknown Project version: %s", projectVersion.c_str());
        return E_FAIL;
    }
    quorVersion = found->second;
    QUOR_LOG_TAG(Log::DEBUG, TAG_GET_QUOR, "Found Project Version: %s -> %s", projectVersion.c_str(),
                 ConvertVersion::ToString(quorVersion).c_str());
    return S_OK;
}

HRESULT ProjectVersionListing::GetProjectVersion(DWORD quorVersion, std::string& projectVersion) const {
    const auto found = m_quorToProject.find(quorVersion);
    if (found == m_quorToProject.end()) {
        QUOR_LOG_TAG(Log::ERROR, TAG_GET_PROJECT, "Unknown QUOR version: %s",
                     ConvertVersion::ToString(quorVersion).c_str());
        return E_FAIL;
    }
    projectVersion = found->second;
    QUOR_LOG_TAG(Log::DEBUG, TAG_GET_PROJECT, "Found QUOR Version: %s -> %s",
                 ConvertVersion::ToString(quorVersion).c_str(), projectVersion.c_str());
    return S_OK;
}

HRESULT ProjectVersionListing::Add(DWORD quorVersion, const std::string& projectVersion) {
    if (projectVersion.empty()) {
        QUOR_LOG_TAG(Log::ERROR, TAG_ADD, "Empty project version for QUOR version: %s",
                     ConvertVersion::ToString(quorVersion).c_str());
        return E_FAIL;
    }
    if (m_quorToProject.count(quorVersion)) {
        QUOR_LOG_TAG(Log::ERROR, TAG_ADD, "Quor version already exists in QUOR to Project version map: %s",
                     ConvertVersion::ToString(quorVersion).c_str());
        return E_FAIL;
    }
    m_quorToProject[quorVersion] = projectVersion;
    const auto existing = m_projectToQuor.find(projectVersion);
    if (existing == m_projectToQuor.end() || quorVersion >= existing->second) {
        m_projectToQuor[projectVersion] = quorVersion;
    } else {
        QUOR_LOG_TAG(Log::DEBUG, TAG_ADD,
                     "Project version already exists in Project to QUOR version map, and QUOR version is older than "
                     "the existing version. ProjectVersion: %s, QUORVersion: %s",
                     projectVersion.c_str(), ConvertVersion::ToString(quorVersion).c_str());
    }
    return S_OK;
}

HRESULT ProjectVersionListing::Load(const std::string& path) {
    UniqueFile stream(Vorn::std_fopen(path.c_str(), "rt"));
    if (!stream) {
        QUOR_LOG_TAG(Log::DEBUG, TAG_LOAD, "Failed to open project version listing: \"%s\".", path.c_str());
        return E_FAIL;
    }
    std::string line;
    while (ReadLine(stream.get(), line)) {
        const std::vector<std::string> tokens = Tokens(line);
        if (tokens.empty()) continue;
        if (tokens.size() == 1) {
            QUOR_LOG_TAG(Log::ERROR, TAG_LOAD, "No QUOR version for project version %s", tokens[0].c_str());
            continue;
        }
        const std::string& projectVersion = tokens[0];
        if (!projectVersion.empty() && !LocalDirectoryStructure::IsValidName(projectVersion)) {
            // The project version comes from the server: one that could not stand as a plain name
            // is refused here, before anything can use it.
            QUOR_LOG_TAG(Log::ERROR, TAG_LOAD, "Refusing project version \"%s\" of \"%s\"",
                         projectVersion.c_str(), path.c_str());
            continue;
        }
        for (size_t i = 1; i < tokens.size(); ++i) {
            DWORD version = 0;
            if (FAILED(ConvertVersion::ToNumber(tokens[i], version))) {
                QUOR_LOG_TAG(Log::ERROR, TAG_LOAD, "Failed to convert QUOR version: %s", tokens[i].c_str());
                continue;
            }
            Add(version, projectVersion);
        }
    }
    return S_OK;
}

HRESULT ProjectVersionListing::Save(const std::string& path) const {
    errno = 0;
    UniqueFile stream(CRT::fopen(path.c_str(), "wt"));
    if (!stream) {
        const HRESULT result = LastErrorFailure(TAG_SAVE);
        QUOR_LOG_TAG(Log::ERROR, TAG_SAVE, "Failed to open \"%s\".", path.c_str());
        return result;
    }
    // Group map 1 by project version; the releases of each in ascending order.
    std::map<std::string, std::vector<DWORD>> groups;
    for (const auto& [quorVersion, projectVersion] : m_quorToProject) groups[projectVersion].push_back(quorVersion);
    bool ok = true;
    for (const auto& [projectVersion, releases] : groups) {
        ok = ok && std::fprintf(stream.get(), "%s", projectVersion.c_str()) >= 0;
        for (DWORD release : releases)
            ok = ok && std::fprintf(stream.get(), " %s", ConvertVersion::ToString(release).c_str()) >= 0;
        ok = ok && std::fprintf(stream.get(), "\n") >= 0;
    }
    if (!stream.Close() || !ok) {
        QUOR_LOG_TAG(Log::ERROR, TAG_SAVE, "Failed to write \"%s\".", path.c_str());
        return E_FAIL;
    }
    return S_OK;
}

}  // namespace Quor::Common
