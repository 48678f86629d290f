#include "common/SolutionManifest.h"

#include <algorithm>
#include <cerrno>

#include "common/CaseInsensitivePredicate.h"
#include "common/ConvertVersion.h"
#include "common/LastError.h"
#include "common/Log.h"
#include "common/ManifestFile.h"
#include "common/ProjectName.h"
#include "common/TextFileHelper.h"
#include "foundation/CStd/CStdStrings.h"

namespace Quor::Common {

namespace File {
namespace {
const char* const MAGIC = "Quor Solution Manifest";
constexpr DWORD FILE_VERSION = 0x01000000;
constexpr SIZE_T MAX_LINE = 1024;
}  // namespace
}  // namespace File

namespace {

int CompareNames(const std::string& a, const std::string& b) {
    return Vorn::std_stricmp(a.c_str(), b.c_str());
}

// Reads a count line as the format has it: one line, taken as a decimal number (no number is 0).
HRESULT ReadCountLine(const char* tag, FILE* stream, int& count) {
    char line[1024];
    errno = 0;
    if (fgets(line, sizeof line, stream)) {
        count = atoi(line);
        return S_OK;
    }
    const HRESULT error = LastErrorFailure(tag);
    QUOR_LOG_TAG(Log::ERROR, tag, "fgets failed while reading project count");
    return error;
}

}  // namespace

bool SolutionManifest::PROJECT::PredicateByName(const PROJECT& a, const PROJECT& b) {
    return CompareNames(a.name, b.name) < 0;
}

bool SolutionManifest::PROJECT::PredicateByPriority(const PROJECT& a, const PROJECT& b) {
    return a.priority > b.priority;
}

bool SolutionManifest::CONFIGURATION::PredicateByName(const CONFIGURATION& a, const CONFIGURATION& b) {
    return CompareNames(a.name, b.name) < 0;
}

SolutionManifest::SolutionManifest() : m_Version(0xFFFFFFFF) {}

HRESULT SolutionManifest::AddProject(const std::string& name, DWORD version, DWORD priority, DWORD flags) {
    PROJECT project;
    project.name = name;
    project.version = version;
    project.priority = priority;
    project.flags = flags;
    auto range = std::equal_range(m_Projects.begin(), m_Projects.end(), project, PROJECT::PredicateByName);
    if (range.first != range.second) return E_FAIL;
    m_Projects.insert(range.first, std::move(project));
    return S_OK;
}

HRESULT SolutionManifest::AddConfiguration(const std::string& name, const std::vector<std::string>& projects,
                                           DWORD flags) {
    static const char* const TAG =
        "HRESULT Quor::Common::SolutionManifest::AddConfiguration(const std::string &, "
        "const std::vector<std::string> &, DWORD)";
    for (const std::string& projectName : projects) {
        PROJECT key;
        key.name = projectName;
        if (!std::binary_search(m_Projects.begin(), m_Projects.end(), key, PROJECT::PredicateByName)) {
            QUOR_LOG_TAG(Log::ERROR, TAG,
                         "Configuration references unknown project.  Add projects before configurations.");
            return E_FAIL;
        }
    }
    CONFIGURATION configuration;
    configuration.name = name;
    configuration.flags = flags;
    auto range = std::equal_range(m_Configurations.begin(), m_Configurations.end(), configuration,
                                  CONFIGURATION::PredicateByName);
    if (range.first != range.second) return E_FAIL;
    configuration.projects = projects;
    m_Configurations.insert(range.first, std::move(configuration));
    return S_OK;
}

HRESULT SolutionManifest::Load(const std::string& path) {
    static const char* const TAG = "HRESULT Quor::Common::SolutionManifest::Load(const std::string &)";
    QUOR_LOG_TAG(Log::DEBUG, TAG, "(\"%s\")", path.c_str());
    m_Projects.clear();
    m_Configurations.clear();

    UniqueFile file;
    HRESULT hr = OpenManifestFile(TAG, path, "rt", kMaxSolutionManifestBytes, file);
    if (FAILED(hr)) return hr;
    FILE* const stream = file.get();

    if (FAILED(hr = LoadHeader(stream))) {
        QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to load header");
    } else if (FAILED(hr = LoadProjects(stream))) {
        QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to load projects");
    } else if (FAILED(hr = LoadConfigurations(stream))) {
        QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to load configurations");
    } else {
        QUOR_LOG_TAG(Log::DEBUG, TAG, "Succeeded");
    }

    return CloseManifestFile(TAG, file, hr);
}

HRESULT SolutionManifest::LoadHeader(FILE* const stream) {
    static const char* const TAG = "HRESULT Quor::Common::SolutionManifest::LoadHeader(FILE *const)";
    std::string line;
    HRESULT hr = TextFileHelper::ReadString(stream, line, File::MAX_LINE);
    if (FAILED(hr)) {
        QUOR_LOG_TAG(Log::ERROR, TAG, "Failure while getting magic string");
        return hr;
    }
    if (Vorn::std_stricmp(line.c_str(), File::MAGIC) != 0) {
        QUOR_LOG_TAG(Log::ERROR, TAG, "Magic string does not match");
        return E_FAIL;
    }
    if (FAILED(hr = TextFileHelper::ReadString(stream, line, File::MAX_LINE))) {
        QUOR_LOG_TAG(Log::ERROR, TAG, "Failure while getting file version string");
        return hr;
    }
    DWORD fileVersion = 0;
    if (FAILED(hr = ConvertVersion::ToNumber(line, fileVersion))) {
        QUOR_LOG_TAG(Log::ERROR, TAG, "Invalid format for file version string");
        return hr;
    }
    if (fileVersion != File::FILE_VERSION) {
        QUOR_LOG_TAG(Log::ERROR, TAG, "File version mismatch");
        return E_FAIL;
    }
    if (FAILED(hr = TextFileHelper::ReadString(stream, m_Name, File::MAX_LINE))) {
        QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to read solution name");
        return hr;
    }
    if (!IsValidProjectName(m_Name)) {
        QUOR_LOG_TAG(Log::ERROR, TAG, "Invalid solution name \"%s\"", m_Name.c_str());
        return E_FAIL;
    }
    if (FAILED(hr = TextFileHelper::ReadString(stream, line, File::MAX_LINE))) {
        QUOR_LOG_TAG(Log::ERROR, TAG, "Failure while getting solutino version string");
        return hr;
    }
    if (FAILED(hr = ConvertVersion::ToNumber(line, m_Version))) {
        QUOR_LOG_TAG(Log::ERROR, TAG, "Invalid format for solution version string");
        return hr;
    }
    return S_OK;
}

HRESULT SolutionManifest::LoadProjects(FILE* const stream) {
    static const char* const TAG = "HRESULT Quor::Common::SolutionManifest::LoadProjects(FILE *const)";
    int count = 0;
    if (const HRESULT error = ReadCountLine(TAG, stream, count); FAILED(error)) return error;
    // The count only bounds the loop: a file that ends early fails on its first missing line.
    for (int i = 0; i < count; ++i) {
        std::string name;
        DWORD version = 0, priority = 0, flags = 0;
        HRESULT hr = TextFileHelper::ReadString(stream, name, File::MAX_LINE);
        if (FAILED(hr)) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to read project name");
            return hr;
        }
        if (!IsValidProjectName(name)) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "Invalid project name \"%s\"", name.c_str());
            return E_FAIL;
        }
        if (FAILED(hr = TextFileHelper::ReadVersion(stream, version))) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to read project version");
            return hr;
        }
        if (FAILED(hr = TextFileHelper::ReadDWORD(stream, priority))) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to read priority");
            return hr;
        }
        if (FAILED(hr = TextFileHelper::ReadDWORD(stream, flags))) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to read flags");
            return hr;
        }
        if (FAILED(hr = AddProject(name, version, priority, flags))) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to add project");
            return hr;
        }
    }
    return S_OK;
}

HRESULT SolutionManifest::LoadConfigurations(FILE* const stream) {
    static const char* const TAG = "HRESULT Quor::Common::SolutionManifest::LoadConfigurations(FILE *const)";
    int count = 0;
    if (const HRESULT error = ReadCountLine(TAG, stream, count); FAILED(error)) return error;
    for (int i = 0; i < count; ++i) {
        std::string name;
        DWORD flags = 0, projectCount = 0;
        HRESULT hr = TextFileHelper::ReadString(stream, name, File::MAX_LINE);
        if (FAILED(hr)) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to read name");
            return hr;
        }
        if (!IsValidProjectName(name)) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "Invalid configuration name \"%s\"", name.c_str());
            return E_FAIL;
        }
        if (FAILED(hr = TextFileHelper::ReadDWORD(stream, flags))) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to read flags");
            return hr;
        }
        if (FAILED(hr = TextFileHelper::ReadDWORD(stream, projectCount))) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to read project count");
            return hr;
        }
        std::vector<std::string> projects;  // sorted without regard to case, unique
        for (DWORD j = 0; j < projectCount; ++j) {
            std::string project;
            if (FAILED(hr = TextFileHelper::ReadString(stream, project, File::MAX_LINE))) {
                QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to read name of project in configuration");
                return hr;
            }
            auto range = std::equal_range(projects.begin(), projects.end(), project,
                                          StringHelper::CaseInsensitivePredicate);
            if (range.first != range.second) {
                QUOR_LOG_TAG(Log::ERROR, TAG, "Duplicate project in configuration");
                return E_FAIL;
            }
            projects.insert(range.first, std::move(project));
        }
        if (FAILED(hr = AddConfiguration(name, projects, flags))) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to add configuration");
            return hr;
        }
    }
    return S_OK;
}

HRESULT SolutionManifest::Save(const std::string& path) {
    static const char* const TAG = "HRESULT Quor::Common::SolutionManifest::Save(const std::string &)";
    QUOR_LOG_TAG(Log::DEBUG, TAG, "(\"%s\")", path.c_str());
    UniqueFile file;
    HRESULT hr = OpenManifestFile(TAG, path, "wt", 0, file);
    if (FAILED(hr)) return hr;
    FILE* const stream = file.get();

    if (FAILED(hr = SaveHeader(stream))) {
        QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to save header");
    } else if (FAILED(hr = SaveProjects(stream))) {
        QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to save projects");
    } else if (FAILED(hr = SaveConfigurations(stream))) {
        QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to save configurations");
    } else {
        QUOR_LOG_TAG(Log::DEBUG, TAG, "Succeeded");
    }

    return CloseManifestFile(TAG, file, hr);
}

HRESULT SolutionManifest::SaveHeader(FILE* const stream) {
    static const char* const TAG = "HRESULT Quor::Common::SolutionManifest::SaveHeader(FILE *const)";
    HRESULT hr = TextFileHelper::WriteString(stream, File::MAGIC);
    if (FAILED(hr)) {
        QUOR_LOG_TAG(Log::ERROR, TAG, "Failure while writing magic string");
        return hr;
    }
    if (FAILED(hr = TextFileHelper::WriteVersion(stream, File::FILE_VERSION))) {
        QUOR_LOG_TAG(Log::ERROR, TAG, "Failure while writing file version");
        return hr;
    }
    if (FAILED(hr = TextFileHelper::WriteString(stream, m_Name))) {
        QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to write solution name");
        return hr;
    }
    if (FAILED(hr = TextFileHelper::WriteVersion(stream, m_Version))) {
        QUOR_LOG_TAG(Log::ERROR, TAG, "Failure while writing solutino version string");
        return hr;
    }
    return S_OK;
}

HRESULT SolutionManifest::SaveProjects(FILE* const stream) {
    static const char* const TAG = "HRESULT Quor::Common::SolutionManifest::SaveProjects(FILE *const)";
    HRESULT hr = TextFileHelper::WriteDWORD(stream, static_cast<DWORD>(m_Projects.size()));
    if (FAILED(hr)) {
        QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to write project count");
        return hr;
    }
    for (const PROJECT& project : m_Projects) {
        if (FAILED(hr = TextFileHelper::WriteString(stream, project.name))) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to write project name");
            return hr;
        }
        if (FAILED(hr = TextFileHelper::WriteVersion(stream, project.version))) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to write project version");
            return hr;
        }
        if (FAILED(hr = TextFileHelper::WriteDWORD(stream, project.priority))) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to write priority");
            return hr;
        }
        if (FAILED(hr = TextFileHelper::WriteDWORD(stream, project.flags))) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to write flags");
            return hr;
        }
    }
    return S_OK;
}

HRESULT SolutionManifest::SaveConfigurations(FILE* const stream) {
    static const char* const TAG = "HRESULT Quor::Common::SolutionManifest::SaveConfigurations(FILE *const)";
    HRESULT hr = TextFileHelper::WriteDWORD(stream, static_cast<DWORD>(m_Configurations.size()));
    if (FAILED(hr)) {
        QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to write configuration count");
        return hr;
    }
    for (const CONFIGURATION& configuration : m_Configurations) {
        if (FAILED(hr = TextFileHelper::WriteString(stream, configuration.name))) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to write name");
            return hr;
        }
        if (FAILED(hr = TextFileHelper::WriteDWORD(stream, configuration.flags))) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to write flags");
            return hr;
        }
        if (FAILED(
                hr = TextFileHelper::WriteDWORD(stream, static_cast<DWORD>(configuration.projects.size())))) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to write project count");
            return hr;
        }
        for (const std::string& project : configuration.projects) {
            if (FAILED(hr = TextFileHelper::WriteString(stream, project))) {
                QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to write name of project in configuration");
                return hr;
            }
        }
    }
    return S_OK;
}

}  // namespace Quor::Common
