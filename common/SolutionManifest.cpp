#include "common/SolutionManifest.h"

#include <algorithm>
#include <cerrno>

#include "common/ProjectName.h"

namespace Quor::Common {

namespace File {
namespace {
const char* const MAGIC = "Quor Solution Manifest";
constexpr DWORD FILE_VERSION = 0x01000000;
constexpr SIZE_T MAX_LINE = 1024;
}  // namespace
}  // namespace File

namespace {

int CompareNames(const std::string& a, const std::string& b) { return Vorn::std_stricmp(a.c_str(), b.c_str()); }

// The result of a failed open, read or close: the system error's code, or E_FAIL when no system
// error is set (the operation failed all the same).
HRESULT SystemErrorOrFail(const char* function) {
    const HRESULT hr = Log::Internal::LogGetLastError(function);
    return FAILED(hr) ? hr : E_FAIL;
}

// Reads a count line as the format has it: one line, taken as a decimal number (no number is 0).
bool ReadCountLine(FILE* stream, int& count) {
    char line[1024];
    errno = 0;
    if (!fgets(line, sizeof line, stream)) return false;
    count = atoi(line);
    return true;
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
    for (const std::string& projectName : projects) {
        PROJECT key;
        key.name = projectName;
        if (!std::binary_search(m_Projects.begin(), m_Projects.end(), key, PROJECT::PredicateByName)) {
            QUOR_LOG(Log::ERROR, "Configuration references unknown project.  Add projects before configurations.");
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
    QUOR_LOG(Log::DEBUG, "(\"%s\")", path.c_str());
    m_Projects.clear();
    m_Configurations.clear();

    FILE* stream = nullptr;
    CRT::fopen_s(&stream, path.c_str(), "rt");
    if (!stream) {
        const HRESULT error = SystemErrorOrFail(__PRETTY_FUNCTION__);
        QUOR_LOG(Log::ERROR, "Failed to open \"%s\".", path.c_str());
        return error;
    }

    HRESULT hr = LoadHeader(stream);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to load header");
    } else if (FAILED(hr = LoadProjects(stream))) {
        QUOR_LOG(Log::ERROR, "Failed to load projects");
    } else if (FAILED(hr = LoadConfigurations(stream))) {
        QUOR_LOG(Log::ERROR, "Failed to load configurations");
    } else {
        QUOR_LOG(Log::DEBUG, "Succeeded");
    }

    errno = 0;
    if (fclose(stream) != 0) {
        const HRESULT error = SystemErrorOrFail(__PRETTY_FUNCTION__);
        if (SUCCEEDED(hr)) hr = error;
    }
    return hr;
}

HRESULT SolutionManifest::LoadHeader(FILE* const stream) {
    std::string line;
    HRESULT hr = TextFileHelper::ReadString(stream, line, File::MAX_LINE);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failure while getting magic string");
        return hr;
    }
    if (Vorn::std_stricmp(line.c_str(), File::MAGIC) != 0) {
        QUOR_LOG(Log::ERROR, "Magic string does not match");
        return E_FAIL;
    }
    if (FAILED(hr = TextFileHelper::ReadString(stream, line, File::MAX_LINE))) {
        QUOR_LOG(Log::ERROR, "Failure while getting file version string");
        return hr;
    }
    DWORD fileVersion = 0;
    if (FAILED(hr = ConvertVersion::ToNumber(line, fileVersion))) {
        QUOR_LOG(Log::ERROR, "Invalid format for file version string");
        return hr;
    }
    if (fileVersion != File::FILE_VERSION) {
        QUOR_LOG(Log::ERROR, "File version mismatch");
        return E_FAIL;
    }
    if (FAILED(hr = TextFileHelper::ReadString(stream, m_Name, File::MAX_LINE))) {
        QUOR_LOG(Log::ERROR, "Failed to read solution name");
        return hr;
    }
    if (FAILED(hr = TextFileHelper::ReadString(stream, line, File::MAX_LINE))) {
        QUOR_LOG(Log::ERROR, "Failure while getting solutino version string");
        return hr;
    }
    if (FAILED(hr = ConvertVersion::ToNumber(line, m_Version))) {
        QUOR_LOG(Log::ERROR, "Invalid format for solution version string");
        return hr;
    }
    return S_OK;
}

HRESULT SolutionManifest::LoadProjects(FILE* const stream) {
    int count = 0;
    if (!ReadCountLine(stream, count)) {
        const HRESULT error = SystemErrorOrFail(__PRETTY_FUNCTION__);
        QUOR_LOG(Log::ERROR, "fgets failed while reading project count");
        return error;
    }
    // The count only bounds the loop: a file that ends early fails on its first missing line.
    for (int i = 0; i < count; ++i) {
        std::string name;
        DWORD version = 0, priority = 0, flags = 0;
        HRESULT hr = TextFileHelper::ReadString(stream, name, File::MAX_LINE);
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Failed to read project name");
            return hr;
        }
        if (!IsValidProjectName(name)) {
            QUOR_LOG(Log::ERROR, "Invalid project name \"%s\"", name.c_str());
            return E_FAIL;
        }
        if (FAILED(hr = TextFileHelper::ReadVersion(stream, version))) {
            QUOR_LOG(Log::ERROR, "Failed to read project version");
            return hr;
        }
        if (FAILED(hr = TextFileHelper::ReadDWORD(stream, priority))) {
            QUOR_LOG(Log::ERROR, "Failed to read priority");
            return hr;
        }
        if (FAILED(hr = TextFileHelper::ReadDWORD(stream, flags))) {
            QUOR_LOG(Log::ERROR, "Failed to read flags");
            return hr;
        }
        if (FAILED(hr = AddProject(name, version, priority, flags))) {
            QUOR_LOG(Log::ERROR, "Failed to add project");
            return hr;
        }
    }
    return S_OK;
}

HRESULT SolutionManifest::LoadConfigurations(FILE* const stream) {
    int count = 0;
    if (!ReadCountLine(stream, count)) {
        const HRESULT error = SystemErrorOrFail(__PRETTY_FUNCTION__);
        QUOR_LOG(Log::ERROR, "fgets failed while reading project count");
        return error;
    }
    for (int i = 0; i < count; ++i) {
        std::string name;
        DWORD flags = 0, projectCount = 0;
        HRESULT hr = TextFileHelper::ReadString(stream, name, File::MAX_LINE);
        if (FAILED(hr)) {
            QUOR_LOG(Log::ERROR, "Failed to read name");
            return hr;
        }
        if (FAILED(hr = TextFileHelper::ReadDWORD(stream, flags))) {
            QUOR_LOG(Log::ERROR, "Failed to read flags");
            return hr;
        }
        if (FAILED(hr = TextFileHelper::ReadDWORD(stream, projectCount))) {
            QUOR_LOG(Log::ERROR, "Failed to read project count");
            return hr;
        }
        std::vector<std::string> projects;  // sorted without regard to case, unique
        for (DWORD j = 0; j < projectCount; ++j) {
            std::string project;
            if (FAILED(hr = TextFileHelper::ReadString(stream, project, File::MAX_LINE))) {
                QUOR_LOG(Log::ERROR, "Failed to read name of project in configuration");
                return hr;
            }
            auto range = std::equal_range(projects.begin(), projects.end(), project,
                                          StringHelper::CaseInsensitivePredicate);
            if (range.first != range.second) {
                QUOR_LOG(Log::ERROR, "Duplicate project in configuration");
                return E_FAIL;
            }
            projects.insert(range.first, std::move(project));
        }
        if (FAILED(hr = AddConfiguration(name, projects, flags))) {
            QUOR_LOG(Log::ERROR, "Failed to add configuration");
            return hr;
        }
    }
    return S_OK;
}

HRESULT SolutionManifest::Save(const std::string& path) {
    QUOR_LOG(Log::DEBUG, "(\"%s\")", path.c_str());
    FILE* stream = nullptr;
    CRT::fopen_s(&stream, path.c_str(), "wt");
    if (!stream) {
        const HRESULT error = SystemErrorOrFail(__PRETTY_FUNCTION__);
        QUOR_LOG(Log::ERROR, "Failed to open \"%s\".", path.c_str());
        return error;
    }

    HRESULT hr = SaveHeader(stream);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to save header");
    } else if (FAILED(hr = SaveProjects(stream))) {
        QUOR_LOG(Log::ERROR, "Failed to save projects");
    } else if (FAILED(hr = SaveConfigurations(stream))) {
        QUOR_LOG(Log::ERROR, "Failed to save configurations");
    } else {
        QUOR_LOG(Log::DEBUG, "Succeeded");
    }

    errno = 0;
    if (fclose(stream) != 0) {
        const HRESULT error = SystemErrorOrFail(__PRETTY_FUNCTION__);
        if (SUCCEEDED(hr)) hr = error;
    }
    return hr;
}

HRESULT SolutionManifest::SaveHeader(FILE* const stream) {
    HRESULT hr = TextFileHelper::WriteString(stream, File::MAGIC);
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failure while writing magic string");
        return hr;
    }
    if (FAILED(hr = TextFileHelper::WriteVersion(stream, File::FILE_VERSION))) {
        QUOR_LOG(Log::ERROR, "Failure while writing file version");
        return hr;
    }
    if (FAILED(hr = TextFileHelper::WriteString(stream, m_Name))) {
        QUOR_LOG(Log::ERROR, "Failed to write solution name");
        return hr;
    }
    if (FAILED(hr = TextFileHelper::WriteVersion(stream, m_Version))) {
        QUOR_LOG(Log::ERROR, "Failure while writing solutino version string");
        return hr;
    }
    return S_OK;
}

HRESULT SolutionManifest::SaveProjects(FILE* const stream) {
    HRESULT hr = TextFileHelper::WriteDWORD(stream, static_cast<DWORD>(m_Projects.size()));
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to write project count");
        return hr;
    }
    for (const PROJECT& project : m_Projects) {
        if (FAILED(hr = TextFileHelper::WriteString(stream, project.name))) {
            QUOR_LOG(Log::ERROR, "Failed to write project name");
            return hr;
        }
        if (FAILED(hr = TextFileHelper::WriteVersion(stream, project.version))) {
            QUOR_LOG(Log::ERROR, "Failed to write project version");
            return hr;
        }
        if (FAILED(hr = TextFileHelper::WriteDWORD(stream, project.priority))) {
            QUOR_LOG(Log::ERROR, "Failed to write priority");
            return hr;
        }
        if (FAILED(hr = TextFileHelper::WriteDWORD(stream, project.flags))) {
            QUOR_LOG(Log::ERROR, "Failed to write flags");
            return hr;
        }
    }
    return S_OK;
}

HRESULT SolutionManifest::SaveConfigurations(FILE* const stream) {
    HRESULT hr = TextFileHelper::WriteDWORD(stream, static_cast<DWORD>(m_Configurations.size()));
    if (FAILED(hr)) {
        QUOR_LOG(Log::ERROR, "Failed to write configuration count");
        return hr;
    }
    for (const CONFIGURATION& configuration : m_Configurations) {
        if (FAILED(hr = TextFileHelper::WriteString(stream, configuration.name))) {
            QUOR_LOG(Log::ERROR, "Failed to write name");
            return hr;
        }
        if (FAILED(hr = TextFileHelper::WriteDWORD(stream, configuration.flags))) {
            QUOR_LOG(Log::ERROR, "Failed to write flags");
            return hr;
        }
        if (FAILED(hr = TextFileHelper::WriteDWORD(stream, static_cast<DWORD>(configuration.projects.size())))) {
            QUOR_LOG(Log::ERROR, "Failed to write project count");
            return hr;
        }
        for (const std::string& project : configuration.projects) {
            if (FAILED(hr = TextFileHelper::WriteString(stream, project))) {
                QUOR_LOG(Log::ERROR, "Failed to write name of project in configuration");
                return hr;
            }
        }
    }
    return S_OK;
}

}  // namespace Quor::Common
