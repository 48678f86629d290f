#include "common/SettingsFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/LastError.h"
#include "common/LocalFileSystem.h"
#include "common/LocalRootFolder.h"
#include "common/Log.h"
#include "common/ReadLine.h"
#include "common/UniqueFile.h"
#include "foundation/CStd/CStd.h"

namespace Quor::Common::SettingsFile {

namespace {

const char* const LOAD_TAG = "HRESULT Quor::Common::SettingsFile::SettingsFile::Load()";
const char* const SAVE_TAG = "HRESULT Quor::Common::SettingsFile::SettingsFile::Save()";
// White space of the default locale.
const char* const SPACES = " \t\n\v\f\r";

}  // namespace

SettingsFile::SettingsFile(const std::string& name, HRESULT& result) : m_fileName(name) {
    result = Load();
}

SettingsFile::SettingsFile(const std::string& nameOrPath, HRESULT& result, bool isPath) {
    if (isPath)
        m_path = nameOrPath;
    else
        m_fileName = nameOrPath;
    result = Load();
}

SettingsFile::SettingsFile(const std::string& name, const std::string& second, HRESULT& result)
    : m_fileName(name), m_secondName(second) {
    result = Load();
}

HRESULT SettingsFile::Load() {
    if (m_path.empty()) {
        if (m_fileName.find(".cfg") == std::string::npos)
            QUOR_LOG_TAG(Log::WARNING, LOAD_TAG,
                         "Did not find \".cfg\" in settings filename \"%s\". Suspicious, but attempting to "
                         "continue with load.",
                         m_fileName.c_str());
        m_path = "quor/system/" + m_fileName;
        if (!LocalFileSystem::DoesFileOrDirectoryExist(m_path))
            m_path = LocalRootFolder::Get() + "/system/" + m_fileName;
    }

    if (!LocalFileSystem::DoesFileOrDirectoryExist(m_path)) {
        QUOR_LOG_TAG(Log::ERROR, LOAD_TAG, "Settings file \"%s\" does not exist, and was not opened.",
                     m_path.c_str());
        return S_OK;
    }

    errno = 0;
    UniqueFile stream(Vorn::std_fopen(m_path.c_str(), "rt"));
    if (!stream) {
        HRESULT hr = LastErrorFailure(LOAD_TAG);
        QUOR_LOG_TAG(Log::ERROR, LOAD_TAG, "Failed to open settings file \"%s\" for input.", m_path.c_str());
        return hr;
    }

    std::string line, trimmed, key, value;
    while (ReadLine(stream.get(), line)) {
        StringHelper::Trim(line, trimmed, SPACES);
        if (trimmed.empty() || std::strchr(":;/#", trimmed[0])) continue;
        const size_t equals = trimmed.find('=');
        if (equals == std::string::npos) {
            QUOR_LOG_TAG(Log::ERROR, LOAD_TAG, "Skipping invalid line in launcher config file: %s",
                         trimmed.c_str());
            continue;
        }
        StringHelper::Trim(trimmed.substr(0, equals), key, SPACES);
        StringHelper::Trim(trimmed.substr(equals + 1), value, SPACES);
        m_map[key] = value;
    }
    if (std::ferror(stream.get())) {
        HRESULT hr = LastErrorFailure(LOAD_TAG);
        QUOR_LOG_TAG(Log::ERROR, LOAD_TAG, "Failed to read settings file \"%s\".", m_path.c_str());
        return hr;
    }
    return S_OK;
}

std::string SettingsFile::Get(const std::string& key) const {
    auto it = m_map.find(key);
    return it == m_map.end() ? std::string() : it->second;
}

void SettingsFile::Set(const std::string& key, const std::string& value) {
    m_map[key] = value;
}

HRESULT SettingsFile::Save() {
    errno = 0;
    UniqueFile stream(Vorn::std_fopen(m_path.c_str(), "wt"));
    if (!stream) {
        HRESULT hr = LastErrorFailure(SAVE_TAG);
        QUOR_LOG_TAG(Log::ERROR, SAVE_TAG, "Failed to open settings file \"%s\" for output.", m_path.c_str());
        return hr;
    }
    bool written = true;
    for (const auto& [key, value] : m_map)
        written = written && std::fprintf(stream.get(), "%s = %s\n", key.c_str(), value.c_str()) >= 0;
    if (!stream.Close() || !written) {
        HRESULT hr = LastErrorFailure(SAVE_TAG);
        QUOR_LOG_TAG(Log::ERROR, SAVE_TAG, "Failed to write settings file \"%s\".", m_path.c_str());
        return hr;
    }
    return S_OK;
}

}  // namespace Quor::Common::SettingsFile
