#include "common/ConfigurationManifest.h"

#include <algorithm>

#include "common/CRT.h"
#include "common/Log.h"
#include "common/ManifestFile.h"
#include "common/RegularFile.h"
#include "common/ProjectName.h"
#include "common/TextFileHelper.h"
#include "common/UniqueFile.h"
#include "foundation/CStd/CStdStrings.h"

namespace Quor::Common {

namespace File {
namespace {
const char* const MAGIC = "Quor Configuration Manifest";
constexpr DWORD FILE_VERSION = 0x01000000;
constexpr SIZE_T MAX_LINE = 1024;
}  // namespace
}  // namespace File

HRESULT ConfigurationManifest::AddProject(const std::string& name) {
    static const char* const TAG =
        "HRESULT Quor::Common::ConfigurationManifest::AddProject(const std::string &)";
    auto range = std::equal_range(m_Projects.begin(), m_Projects.end(), name);
    if (range.first != range.second) {
        QUOR_LOG_TAG(Log::ERROR, TAG, "Duplicate entry");
        return E_FAIL;
    }
    m_Projects.insert(range.first, name);
    return S_OK;
}

HRESULT ConfigurationManifest::Load(const std::string& path) {
    static const char* const TAG = "HRESULT Quor::Common::ConfigurationManifest::Load(const std::string &)";
    m_Projects.clear();
    UniqueFile file(OpenRegularFileStream(path, kMaxConfigurationManifestBytes));
    FILE* const stream = file.get();
    if (!stream) {
        const HRESULT error = Log::Internal::LogERRNO(TAG);
        QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to open configuration file \"%s\".", path.c_str());
        return FAILED(error) ? error : E_FAIL;
    }

    HRESULT hr = S_OK;
    do {
        std::string line;
        if (FAILED(hr = TextFileHelper::ReadString(stream, line, File::MAX_LINE))) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "Failure while getting magic string");
            break;
        }
        if (Vorn::std_stricmp(line.c_str(), File::MAGIC) != 0) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "Magic string does not match");
            hr = E_FAIL;
            break;
        }
        DWORD version = 0;
        if (FAILED(hr = TextFileHelper::ReadVersion(stream, version))) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to read version");
            break;
        }
        if (version != File::FILE_VERSION) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "File version mismatch");
            hr = E_FAIL;
            break;
        }
        if (FAILED(hr = TextFileHelper::ReadString(stream, m_Name, File::MAX_LINE))) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to read configuration name");
            break;
        }
        DWORD count = 0;
        if (FAILED(hr = TextFileHelper::ReadDWORD(stream, count))) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to read project count");
            break;
        }
        // The count only bounds the loop: a file that ends early fails on its first missing line.
        for (DWORD i = 0; i < count; ++i) {
            std::string name;
            if (FAILED(hr = TextFileHelper::ReadString(stream, name, File::MAX_LINE))) {
                QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to read project name %d of %d", static_cast<int>(i),
                             static_cast<int>(count));
                break;
            }
            if (!IsValidProjectName(name)) {
                QUOR_LOG_TAG(Log::ERROR, TAG, "Invalid project name \"%s\"", name.c_str());
                hr = E_FAIL;
                break;
            }
            m_Projects.push_back(std::move(name));
        }
    } while (false);

    return CloseManifestFile(TAG, file, hr);
}

HRESULT ConfigurationManifest::Save(const std::string& path) {
    static const char* const TAG = "HRESULT Quor::Common::ConfigurationManifest::Save(const std::string &)";
    UniqueFile file;
    HRESULT hr = OpenManifestFile(TAG, path, "wt", 0, file, "Failed to open configuration file \"%s\".");
    if (FAILED(hr)) return hr;
    FILE* const stream = file.get();

    do {
        if (FAILED(hr = TextFileHelper::WriteString(stream, File::MAGIC))) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "Failure while writing magic string");
            break;
        }
        if (FAILED(hr = TextFileHelper::WriteVersion(stream, File::FILE_VERSION))) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to write file version");
            break;
        }
        if (FAILED(hr = TextFileHelper::WriteString(stream, m_Name))) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to write configuration name");
            break;
        }
        if (FAILED(hr = TextFileHelper::WriteDWORD(stream, static_cast<DWORD>(m_Projects.size())))) {
            QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to write project count");
            break;
        }
        for (const std::string& name : m_Projects) {
            if (FAILED(hr = TextFileHelper::WriteString(stream, name))) {
                QUOR_LOG_TAG(Log::ERROR, TAG, "Failed to write project name %s", name.c_str());
                break;
            }
        }
    } while (false);

    return CloseManifestFile(TAG, file, hr);
}

}  // namespace Quor::Common
